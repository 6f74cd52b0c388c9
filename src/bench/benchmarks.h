#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/report.h"
#include "core/stop_token.h"

namespace nvx {

// The CPU workload: `count` xorshift64* steps from `seed`. Pure and
// deterministic.
std::uint64_t integerWork(std::uint64_t seed, std::int64_t count);

namespace Benchmarks {

// Measuring time of one timed pass, in seconds.
inline constexpr double duration = 0.65;

// One timed round with `workers` threads behind a common start gate:
// (millions of iterations per second, XOR of the workers' checksums).
std::pair<double, std::uint64_t> cpuRound(std::int64_t workers, double durationSeconds, const StopToken& token);

// The element at index n/2 of the sorted values (the upper middle; no averaging).
double median(std::vector<double> values);

Metric cpu(std::int64_t workers, bool multi, const StopToken& token);
Metric memory(const StopToken& token);
Metric gpu(const StopToken& token);
// Write first, then read.
std::vector<Metric> disk(const StopToken& token);

using Progress = std::function<void(const std::string& label, double fraction)>;

// All benchmarks in their fixed order: every failure but a stop becomes a
// skipped metric. Throws only CancellationError.
std::vector<Metric> run(const StopToken& token, bool includeDisk, const Progress& progress);

}  // namespace Benchmarks
}  // namespace nvx
