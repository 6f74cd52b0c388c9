#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bench/benchmark_options.h"
#include "core/stop_token.h"

namespace nvx {

// One OpenCL device made ready to run the benchmark kernel: context, compiled
// program, kernel, in-order queue and the output buffer, all released with the
// session. Nothing is kept between sessions.
class GPUSession {
public:
    static constexpr std::uint32_t elementCount = 262'144;

    // How far the set-up got. Every state but `ready` is an ordinary outcome
    // that the benchmark reports as a skipped metric.
    enum class Setup { ready, noDevice, noQueue, noMemory };

    // Takes the first device of `kind` on any platform and prepares it.
    // Throws ComputeError when the kernel does not compile (the compiler's log
    // is the description) or the kernel cannot be prepared for launch.
    GPUSession(Benchmarks::ComputeDeviceKind kind, const std::string& kernelSource, std::size_t groupWidthLimit);
    ~GPUSession();
    GPUSession(const GPUSession&) = delete;
    GPUSession& operator=(const GPUSession&) = delete;

    Setup setup() const { return setup_; }
    const std::string& deviceName() const { return deviceName_; }
    // Work-items per work-group, and the launch width rounded up to whole groups.
    std::size_t groupWidth() const { return groupWidth_; }
    std::size_t launchWidth() const { return launchWidth_; }

    // Runs the kernel once over all elements with `salt`, waits for it and
    // returns out[0]. Only one dispatch is ever in flight. Throws
    // CancellationError (looked at first) or DepotriumError.
    float dispatch(std::uint32_t salt, const StopToken& token);

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
