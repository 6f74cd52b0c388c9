#include <sched.h>
#include <unistd.h>

#include <cstdlib>

#include "bench/usable_processors.h"

namespace nvx::Benchmarks {

std::int64_t usableProcessorCount() {
    // The affinity mask may name processors beyond the online count (CPUs that
    // are plugged in later); a mask as wide as the kernel's limit holds them all.
    const long configured = ::sysconf(_SC_NPROCESSORS_CONF);
    const std::size_t processors = static_cast<std::size_t>(configured > 1024 ? configured : 1024);
    cpu_set_t* mask = CPU_ALLOC(processors);
    if (mask) {
        const std::size_t bytes = CPU_ALLOC_SIZE(processors);
        CPU_ZERO_S(bytes, mask);
        const int allowed = ::sched_getaffinity(0, bytes, mask) == 0 ? CPU_COUNT_S(bytes, mask) : 0;
        CPU_FREE(mask);
        if (allowed > 0) return allowed;
    }
    const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? online : 1;
}

}  // namespace nvx::Benchmarks
