#pragma once

// Entries behind the fixed benchmarks of benchmarks.h, with the windows, the
// device and the file calls as parameters. The public functions call these
// with the production values; tests call them with short windows, the CPU
// OpenCL device or failing file calls.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "bench/benchmarks.h"
#include "bench/disk_io.h"
#include "core/report.h"
#include "core/stop_token.h"
#include "inventory/process_runner.h"

namespace nvx {
class ComputeDevice;
}

namespace nvx::Benchmarks {

// The clock a benchmark reads (a CPU round from every worker thread at once):
// the monotonic clock in production; tests substitute one that shows who
// read it when.
using RoundClock = std::function<double()>;
std::pair<double, std::uint64_t> cpuRoundWith(std::int64_t workers, double durationSeconds, const StopToken& token,
                                              const RoundClock& clock);

struct CPUWindows {
    double warmUpSeconds = 0.2;
    double passSeconds = duration;
};
// One round of the CPU benchmark: cpuRound in production.
using CPURound =
    std::function<std::pair<double, std::uint64_t>(std::int64_t workers, double seconds, const StopToken& token)>;
Metric cpuWith(std::int64_t workers, bool multi, const CPUWindows& windows, const StopToken& token,
               const CPURound& round = cpuRound);

Metric memoryWith(double passSeconds, const StopToken& token, const RoundClock& clock = monotonic);

// Which OpenCL devices the GPU benchmark may take; production uses GPUs only.
enum class ComputeDeviceKind { gpu, cpu };

struct GPUOptions {
    ComputeDeviceKind deviceKind = ComputeDeviceKind::gpu;
    double passSeconds = duration;
    // Empty: the built-in kernel.
    std::string kernelSource;
    // Upper bound of the work-group width; the device's own maximum lowers it further.
    std::size_t groupWidthLimit = 256;
};
Metric gpuWith(const GPUOptions& options, const StopToken& token);
// The GPU benchmark on a device that has been set up (or failed to be): the
// skipped outcomes, the warm-up dispatch and the three timed passes.
Metric gpuOn(ComputeDevice& device, double passSeconds, const StopToken& token);

std::vector<Metric> diskWith(const std::filesystem::path& directory, const DiskIO& io, const StopToken& token);

}  // namespace nvx::Benchmarks
