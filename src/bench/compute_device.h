#pragma once

#include <cstdint>
#include <string>

#include "core/stop_token.h"

namespace nvx {

// What the GPU benchmark needs of a compute device made ready to run its
// kernel. GPUSession (OpenCL) is the real one; tests put devices in its place
// that fail in each of the ways a real one can.
class ComputeDevice {
public:
    // How far the set-up got. Every state but `ready` is an ordinary outcome
    // that the benchmark reports as a skipped metric.
    enum class Setup { ready, noDevice, noQueue, noMemory };

    virtual ~ComputeDevice() = default;
    virtual Setup setup() const = 0;
    virtual const std::string& deviceName() const = 0;
    // Runs the kernel once over all elements with `salt`, waits for it and
    // returns out[0]. Throws CancellationError (looked at first) or
    // DepotriumError.
    virtual float dispatch(std::uint32_t salt, const StopToken& token) = 0;
};

}  // namespace nvx
