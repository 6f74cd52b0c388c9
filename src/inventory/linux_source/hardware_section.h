#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace nvx::linux_source {

// The processor's name from /proc/cpuinfo: "model name" on x86, the
// implementer and part numbers (named where known) on ARM.
std::optional<std::string> processorName(std::string_view cpuinfo);

// A 32-digit machine id written as a UUID (8-4-4-4-12); absent for anything else.
std::optional<std::string> machineIdAsUUID(std::string_view machineId);

// Firmware tables often hold placeholders instead of names.
bool isPlaceholderText(std::string_view text);

}  // namespace nvx::linux_source
