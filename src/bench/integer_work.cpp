#include "bench/benchmarks.h"

namespace nvx {

std::uint64_t integerWork(std::uint64_t seed, std::int64_t count) {
    std::uint64_t x = seed;
    for (std::int64_t i = 0; i < count; ++i) {
        x ^= x >> 12;
        x ^= x << 25;
        x ^= x >> 27;
        x *= 0x2545F4914F6CDD1DULL;  // the product is the next state, not only the output
    }
    return x;
}

}  // namespace nvx
