#include <fcntl.h>

#include "bench/uncached_file.h"

namespace nvx {

bool disableFileCache(int fd) {
    return ::fcntl(fd, F_NOCACHE, 1) != -1;
}

// F_NOCACHE is a hint the system either takes at fcntl time or refuses there;
// transfers never fail because of it.
bool isCacheBypassRefusal(int) {
    return false;
}

}  // namespace nvx
