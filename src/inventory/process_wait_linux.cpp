#include <cerrno>
#include <cmath>

#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "inventory/process_runner.h"
#include "inventory/process_wait.h"

namespace nvx {

ChildExitWatch::ChildExitWatch(pid_t child) : child_(child) {
#ifdef SYS_pidfd_open
    // A pidfd is close-on-exec from birth. Kernels before 5.3 lack it: poll.
    descriptor_ = static_cast<int>(::syscall(SYS_pidfd_open, child, 0));
#endif
}

ChildExitWatch::~ChildExitWatch() {
    if (descriptor_ >= 0) ::close(descriptor_);
}

bool ChildExitWatch::waitForExit(double seconds) {
    if (exited_) return true;
    if (descriptor_ < 0) return exited_ = pollForChildExit(child_, seconds);
    const double deadline = monotonic() + seconds;
    for (;;) {
        const double left = seconds > 0 ? deadline - monotonic() : 0;
        const int milliseconds = left > 0 ? static_cast<int>(std::ceil(left * 1000)) : 0;
        pollfd watched{descriptor_, POLLIN, 0};
        const int ready = ::poll(&watched, 1, milliseconds);
        if (ready > 0) return exited_ = true;
        if (ready == 0) return false;
        if (errno != EINTR) return exited_ = pollForChildExit(child_, left > 0 ? left : 0);
    }
}

void inheritOnlyStandardDescriptors(posix_spawn_file_actions_t& actions, short&) {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    ::posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#else
    (void)actions;  // our own descriptors are close-on-exec in any case
#endif
}

}  // namespace nvx
