#include <cerrno>
#include <cmath>

#include <fcntl.h>
#include <spawn.h>
#include <sys/event.h>
#include <unistd.h>

#include "inventory/process_runner.h"
#include "inventory/process_wait.h"

namespace nvx {

ChildExitWatch::ChildExitWatch(pid_t child) : child_(child) {
    descriptor_ = ::kqueue();
    if (descriptor_ < 0) return;
    ::fcntl(descriptor_, F_SETFD, FD_CLOEXEC);
    struct kevent change;
    EV_SET(&change, child, EVFILT_PROC, EV_ADD | EV_ONESHOT, NOTE_EXIT, 0, nullptr);
    if (::kevent(descriptor_, &change, 1, nullptr, 0, nullptr) != 0) {
        // ESRCH: the child has already exited (it is a zombie until reaped).
        if (errno == ESRCH) exited_ = true;
        ::close(descriptor_);
        descriptor_ = -1;
    }
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
        timespec timeout{};
        if (left > 0) {
            timeout.tv_sec = static_cast<time_t>(left);
            timeout.tv_nsec = static_cast<long>((left - std::floor(left)) * 1e9);
        }
        struct kevent event;
        const int ready = ::kevent(descriptor_, nullptr, 0, &event, 1, &timeout);
        if (ready > 0) return exited_ = true;
        if (ready == 0) return false;
        if (errno != EINTR) return exited_ = pollForChildExit(child_, left > 0 ? left : 0);
    }
}

void inheritOnlyStandardDescriptors(posix_spawn_file_actions_t& actions, short& flags) {
    // Everything not named in a file action is closed in the child; standard
    // input is inherited as it stands.
    flags |= POSIX_SPAWN_CLOEXEC_DEFAULT;
    ::posix_spawn_file_actions_addinherit_np(&actions, STDIN_FILENO);
}

}  // namespace nvx
