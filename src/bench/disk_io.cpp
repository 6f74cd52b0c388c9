#include "bench/disk_io.h"

#include <unistd.h>

namespace nvx {

DiskIO DiskIO::system() {
    DiskIO io;
    io.write = [](int fd, const void* bytes, std::size_t size) { return ::write(fd, bytes, size); };
    io.read = [](int fd, void* bytes, std::size_t size) { return ::read(fd, bytes, size); };
    io.fsync = [](int fd) { return ::fsync(fd); };
    io.lseek = [](int fd, off_t offset, int whence) { return ::lseek(fd, offset, whence); };
    return io;
}

}  // namespace nvx
