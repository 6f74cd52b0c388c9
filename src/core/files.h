#pragma once

#include <cstddef>
#include <filesystem>
#include <limits>
#include <string>
#include <string_view>

namespace nvx {

// A short Russian description of an errno value, for error messages.
std::string systemErrorText(int errorNumber);

// Reads a whole regular file of at most `maximumBytes` bytes. A path that
// names anything else (a folder, a device such as /dev/zero, a FIFO, a
// socket) or a larger file is refused before anything is read; opening never
// blocks, whatever the path names. Throws FileSystemError naming the file and
// the reason.
std::string readWholeFile(const std::filesystem::path& path,
                          std::size_t maximumBytes = std::numeric_limits<std::size_t>::max());

// Writes `bytes` to `path`, by what the path names:
// - a regular file, or a name not yet taken: replaced atomically. A temporary
//   ".<name>.nvx-XXXXXX" in the same folder is written, flushed to the device
//   and renamed over the target, and the folder itself is flushed, so a reader
//   sees either the old file or the whole new one, also after a crash. A
//   replaced file keeps its permissions (and its owner where the process may
//   give it); a new one is 0644.
// - a symbolic link: followed, and its final target replaced as above in the
//   target's own folder; the link stays a link. A dangling link is refused.
// - a character device or a FIFO (a terminal, /dev/stdout, a pipe): written
//   through, never replaced. A FIFO that nobody reads is refused at once.
// - a folder, a block device or a socket: refused.
// Throws FileSystemError naming the path and the reason (a full device
// included); no temporary file stays behind.
void writeFileAtomically(const std::filesystem::path& path, std::string_view bytes);

// Removes from `folder` the temporaries of writeFileAtomically that a killed
// process left behind: names of its own pattern whose writer is gone (nobody
// holds the file's lock) and that are older than a few seconds. Anything else,
// and anything that cannot be examined, is left alone. Returns how many files
// were removed.
std::size_t removeStaleTemporaries(const std::filesystem::path& folder);

}  // namespace nvx
