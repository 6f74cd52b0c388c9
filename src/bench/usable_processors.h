#pragma once

#include <cstdint>

namespace nvx::Benchmarks {

// How many processors this process may run on at once: the processors of its
// CPU affinity where the system has one (a container's CPU set, taskset),
// else the online processors. At least 1.
std::int64_t usableProcessorCount();

}  // namespace nvx::Benchmarks
