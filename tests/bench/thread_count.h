#pragma once

#include <filesystem>

namespace nvx::testing {

// Threads of this process right now, as the kernel lists them.
inline std::size_t threadCount() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) ++count;
    return count;
}

}  // namespace nvx::testing
