#include <unistd.h>

#include "bench/usable_processors.h"

namespace nvx::Benchmarks {

// macOS offers no processor affinity: every active processor is usable.
std::int64_t usableProcessorCount() {
    const long active = ::sysconf(_SC_NPROCESSORS_ONLN);
    return active > 0 ? active : 1;
}

}  // namespace nvx::Benchmarks
