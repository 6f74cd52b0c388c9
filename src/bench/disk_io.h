#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>

namespace nvx {

// The file calls the disk benchmark makes on its open test file. The real set
// goes straight to the system; tests substitute failing or short transfers to
// reach every error path on demand.
struct DiskIO {
    std::function<ssize_t(int fd, const void* bytes, std::size_t size)> write;
    std::function<ssize_t(int fd, void* bytes, std::size_t size)> read;
    std::function<int(int fd)> fsync;
    std::function<off_t(int fd, off_t offset, int whence)> lseek;

    static DiskIO system();
};

}  // namespace nvx
