#pragma once

// Entries behind the fixed benchmarks of benchmarks.h, with the windows, the
// device and the file calls as parameters. The public functions call these
// with the production values; tests call them with short windows, the CPU
// OpenCL device or failing file calls.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/benchmarks.h"
#include "bench/disk_io.h"
#include "core/report.h"
#include "core/stop_token.h"

namespace nvx::Benchmarks {

struct CPUWindows {
    double warmUpSeconds = 0.2;
    double passSeconds = duration;
};
Metric cpuWith(std::int64_t workers, bool multi, const CPUWindows& windows, const StopToken& token);

Metric memoryWith(double passSeconds, const StopToken& token);

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

std::vector<Metric> diskWith(const std::filesystem::path& directory, const DiskIO& io, const StopToken& token);

}  // namespace nvx::Benchmarks
