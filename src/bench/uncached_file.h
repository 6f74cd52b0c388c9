#pragma once

namespace nvx {

// Switches the file cache off for one open file, so that its reads and writes
// go to the device. False when the volume does not allow that (errno says
// why). Memory-backed volumes count as refusing: their cache is the storage.
bool disableFileCache(int fd);

// True when `errorNumber`, met on the first transfer of an uncached file,
// means the volume accepted the request to bypass the cache but cannot honour
// it after all.
bool isCacheBypassRefusal(int errorNumber);

}  // namespace nvx
