#pragma once

#include <string>
#include <vector>

#include "core/stop_token.h"

namespace nvx {

// Runs a system tool as a child process (no shell) and returns its complete
// standard output. Output goes to two files in a private "nvx-command-<UUID>"
// folder of the temporary directory, removed on every way out.
// Throws CancellationError when `token` stops, DepotriumError on a non-zero
// exit or when `timeoutSeconds` passes, LaunchError or FileSystemError when
// the platform fails.
std::string command(const std::string& tool, const std::vector<std::string>& arguments,
                    const StopToken& token, double timeoutSeconds = 90.0);

// Seconds on the monotonic clock.
double monotonic();

}  // namespace nvx
