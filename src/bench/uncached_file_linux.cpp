#include <fcntl.h>
#include <linux/magic.h>
#include <sys/vfs.h>

#include <cerrno>

#include "bench/uncached_file.h"

namespace nvx {

namespace {

// tmpfs and ramfs keep their files in the page cache itself; recent kernels
// accept O_DIRECT there, yet nothing would reach a device.
bool isMemoryBacked(int fd) {
    struct statfs volume {};
    if (::fstatfs(fd, &volume) != 0) return false;
    return volume.f_type == TMPFS_MAGIC || volume.f_type == RAMFS_MAGIC;
}

}  // namespace

bool disableFileCache(int fd) {
    if (isMemoryBacked(fd)) {
        errno = EINVAL;
        return false;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0) return false;
    return ::fcntl(fd, F_SETFL, flags | O_DIRECT) == 0;
}

// Some file systems take O_DIRECT on the descriptor and only refuse the first
// transfer with EINVAL, although buffer, length and offset are all aligned.
bool isCacheBypassRefusal(int errorNumber) {
    return errorNumber == EINVAL;
}

}  // namespace nvx
