#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace nvx::linux_source {

// Firmware tables often hold placeholders instead of names ("System Product
// Name", "To be filled by O.E.M."): those name nothing.
bool isPlaceholderText(std::string_view text);

// One DMI attribute of the machine under `root` (sys/class/dmi/id/<name>),
// blanks collapsed; absent when unreadable or a placeholder.
std::optional<std::string> dmiText(const std::filesystem::path& root, std::string_view attribute);

// The machine's model name from its firmware: DMI's product name on PCs and
// Macs, the device tree's model on boards. The hardware section and the
// "hw.model" kernel value both answer with it, so a placeholder is dropped by
// both alike.
std::optional<std::string> firmwareModelName(const std::filesystem::path& root);

}  // namespace nvx::linux_source
