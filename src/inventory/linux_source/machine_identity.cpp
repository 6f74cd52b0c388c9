#include "inventory/linux_source/machine_identity.h"

#include <cctype>

#include "inventory/linux_source/sysfs.h"

namespace nvx::linux_source {

std::optional<std::string> machineIdAsUUID(std::string_view machineId) {
    std::string digits;
    for (const char c : machineId) {
        if (c == '\n' || c == ' ') continue;
        if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
        digits += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (digits.size() != 32) return std::nullopt;
    return digits.substr(0, 8) + "-" + digits.substr(8, 4) + "-" + digits.substr(12, 4) + "-" + digits.substr(16, 4) +
           "-" + digits.substr(20);
}

std::optional<std::string> platformIdentifier(const fs::path& root) {
    for (const char* file : {"etc/machine-id", "var/lib/dbus/machine-id"})
        if (const auto machineId = readAttribute(root / file))
            if (auto identifier = machineIdAsUUID(*machineId)) return identifier;
    return std::nullopt;
}

}  // namespace nvx::linux_source
