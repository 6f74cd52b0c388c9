#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nvx::linux_source {

namespace fs = std::filesystem;

// Small readers for kernel attribute files. None of them throws: a file that
// is missing or unreadable is an absent value.

// The text of an attribute file, trailing blanks, line breaks and NULs cut
// off, repaired to UTF-8. Absent when unreadable or empty.
std::optional<std::string> readAttribute(const fs::path& file);
// The whole file as it stands (for multi-line files such as /proc/cpuinfo).
std::optional<std::string> readText(const fs::path& file);

// A number in decimal, or in hexadecimal with base 16 (a "0x" prefix is
// allowed). Absent for anything else, surrounding blanks excepted.
std::optional<std::uint64_t> parseUnsigned(std::string_view text, int base = 10);
std::optional<std::uint64_t> readUnsigned(const fs::path& file, int base = 10);

// Entry names of a folder in natural order (sda < sdb, nvme2 < nvme10);
// empty when it cannot be listed.
std::vector<std::string> listFolder(const fs::path& folder);
bool pathExists(const fs::path& path);

// The last component of a symbolic link's target ("driver" -> "e1000e").
std::optional<std::string> linkName(const fs::path& link);
// The path with every link resolved; the path itself when that fails.
fs::path resolved(const fs::path& path);

// "a10" < "a9" is false here: runs of digits compare as numbers.
bool naturalLess(std::string_view left, std::string_view right);

// KEY=VALUE lines (uevent files, os-release); quotes around values removed.
std::map<std::string, std::string> parseKeyValueLines(std::string_view text);

// Text with runs of blanks collapsed to one and the ends trimmed.
std::string collapsedBlanks(std::string_view text);

}  // namespace nvx::linux_source
