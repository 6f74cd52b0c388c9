#include "inventory/linux_source/firmware_text.h"

#include <set>

#include "inventory/linux_source/sysfs.h"

namespace nvx::linux_source {

bool isPlaceholderText(std::string_view text) {
    const std::string value = collapsedBlanks(text);
    static const std::set<std::string> placeholders = {
        "To Be Filled By O.E.M.",
        "To be filled by O.E.M.",
        "System Product Name",
        "System manufacturer",
        "System Manufacturer",
        "System Version",
        "Default string",
        "Not Applicable",
        "Not Specified",
        "None",
        "O.E.M.",
        "OEM",
        "Type1ProductConfigId",
        "x.x",
        "Undefined",
        "Unknown",
        "N/A",
        "",
    };
    return placeholders.contains(value);
}

std::optional<std::string> dmiText(const fs::path& root, std::string_view attribute) {
    const auto value = readAttribute(root / "sys/class/dmi/id" / attribute);
    if (!value || isPlaceholderText(*value)) return std::nullopt;
    return collapsedBlanks(*value);
}

std::optional<std::string> firmwareModelName(const fs::path& root) {
    if (auto product = dmiText(root, "product_name")) return product;
    // /proc/device-tree links to the firmware's device tree; trees recorded
    // without the link have one or the other.
    for (const char* file : {"proc/device-tree/model", "sys/firmware/devicetree/base/model"}) {
        const auto raw = readAttribute(root / file);
        if (!raw) continue;
        // A device-tree string ends in a NUL; anything after it is no name.
        const std::string model = collapsedBlanks(std::string_view(*raw).substr(0, raw->find('\0')));
        if (!isPlaceholderText(model)) return model;
    }
    return std::nullopt;
}

}  // namespace nvx::linux_source
