#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace nvx {

// Kernel values by sysctl name. On macOS these are sysctlbyname; on Linux the
// names the program reads are answered from /proc and /sys ("hw.model",
// "machdep.cpu.brand_string", "hw.logicalcpu", "hw.physicalcpu") and any other
// name reads /proc/sys/<name with dots as slashes>. Absent when unreadable.
std::optional<std::string> sysctlString(const std::string& name);
std::optional<std::int64_t> sysctlInt(const std::string& name);

#if defined(__linux__)
// The Linux answers read below `root` instead of "/", so that tests can point
// them at /sys and /proc trees captured on other machines.
std::optional<std::string> sysctlStringAt(const std::filesystem::path& root, const std::string& name);
std::optional<std::int64_t> sysctlIntAt(const std::filesystem::path& root, const std::string& name);
#endif

}  // namespace nvx
