#pragma once

#include <spawn.h>
#include <sys/types.h>

namespace nvx {

// Watches one child for its exit without reaping it: the child stays a zombie
// until its owner reaps it, so its process and group identifiers cannot be
// reused while signals may still be sent to them. A wait ends the moment the
// child exits (Linux: a pidfd; macOS: a kqueue process event), so a quick tool
// never pays a whole polling interval.
class ChildExitWatch {
public:
    explicit ChildExitWatch(pid_t child);
    ~ChildExitWatch();
    ChildExitWatch(const ChildExitWatch&) = delete;
    ChildExitWatch& operator=(const ChildExitWatch&) = delete;

    // Waits at most `seconds` (0 only looks); true once the child has exited.
    bool waitForExit(double seconds);

private:
    pid_t child_;
    int descriptor_ = -1;  // -1 when the system offers none: then we poll
    bool exited_ = false;
};

// Looks, without reaping and without waiting, whether the child has exited.
bool childHasExited(pid_t child);

// The fall-back wait: looks every few milliseconds for at most `seconds`.
bool pollForChildExit(pid_t child, double seconds);

// Asks the spawn to hand the child no descriptor but standard input, output
// and error, whatever other code in this process left without close-on-exec.
void inheritOnlyStandardDescriptors(posix_spawn_file_actions_t& actions, short& flags);

}  // namespace nvx
