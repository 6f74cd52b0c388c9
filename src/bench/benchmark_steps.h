#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "bench/benchmarks.h"

namespace nvx::Benchmarks {

// What the runner runs, so that its order, labels, progress and failure
// handling can be checked without measuring anything.
struct Steps {
    std::function<Metric(std::int64_t workers, bool multi, const StopToken& token)> cpu;
    std::function<Metric(const StopToken& token)> memory;
    std::function<Metric(const StopToken& token)> gpu;
    std::function<std::vector<Metric>(const StopToken& token)> disk;
    // The settling pause before each measured step.
    std::function<void(double seconds)> pause;
    // Processors this process may run on (before the cap of 32).
    std::int64_t activeProcessors = 1;

    // The real benchmarks on this computer.
    static Steps system();
};

std::vector<Metric> runSteps(const Steps& steps, const StopToken& token, bool includeDisk, const Progress& progress);

}  // namespace nvx::Benchmarks
