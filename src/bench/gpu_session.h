#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bench/benchmark_options.h"
#include "bench/compute_device.h"
#include "core/stop_token.h"

namespace nvx {

// One OpenCL device made ready to run the benchmark kernel: context, compiled
// program, kernel, in-order queue and the output buffer, all released with the
// session. Nothing is kept between sessions.
class GPUSession : public ComputeDevice {
public:
    static constexpr std::uint32_t elementCount = 262'144;

    // Takes the first device of `kind` on any platform and prepares it.
    // Throws ComputeError when the kernel does not compile (the compiler's log
    // is the description) or the kernel cannot be prepared for launch.
    GPUSession(Benchmarks::ComputeDeviceKind kind, const std::string& kernelSource, std::size_t groupWidthLimit);
    ~GPUSession() override;
    GPUSession(const GPUSession&) = delete;
    GPUSession& operator=(const GPUSession&) = delete;

    Setup setup() const override { return setup_; }
    const std::string& deviceName() const override { return deviceName_; }
    // Work-items per work-group, and the launch width rounded up to whole groups.
    std::size_t groupWidth() const { return groupWidth_; }
    std::size_t launchWidth() const { return launchWidth_; }

    // Only one dispatch is ever in flight.
    float dispatch(std::uint32_t salt, const StopToken& token) override;

    // The whole output buffer, for checking the kernel element by element.
    std::vector<float> readOutput();

private:
    struct Handles;
    std::unique_ptr<Handles> handles_;
    Setup setup_ = Setup::noDevice;
    std::string deviceName_;
    std::size_t groupWidth_ = 0;
    std::size_t launchWidth_ = 0;
};

}  // namespace nvx
