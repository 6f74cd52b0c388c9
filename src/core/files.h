#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace nvx {

// A short Russian description of an errno value, for error messages.
std::string systemErrorText(int errorNumber);

// Reads a whole file. Throws FileSystemError naming the file and the reason.
std::string readWholeFile(const std::filesystem::path& path);

// Replaces `path` with `bytes` so that a reader sees either the old file or
// the whole new one, also after a crash: a temporary file in the same folder
// is written, flushed to the device, renamed over the target, and the folder
// itself is flushed. Throws FileSystemError; the temporary file never stays.
void writeFileAtomically(const std::filesystem::path& path, std::string_view bytes);

}  // namespace nvx
