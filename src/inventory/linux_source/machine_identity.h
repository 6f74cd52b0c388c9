#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace nvx::linux_source {

// A 32-digit machine id written as a UUID (8-4-4-4-12); absent for anything else.
std::optional<std::string> machineIdAsUUID(std::string_view machineId);

// What identifies the machine under `root` across inventories: its machine id
// (/etc/machine-id, else D-Bus's copy in /var/lib/dbus/machine-id), which
// every user may read. The firmware's product UUID is deliberately not used:
// only root may read it, so a run under sudo and a normal run of one computer
// would name two different devices. Absent when there is no machine id.
std::optional<std::string> platformIdentifier(const std::filesystem::path& root);

}  // namespace nvx::linux_source
