#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace nvx::linux_source {

// What a monitor says of itself in its EDID block. The serial number fields
// are never read.
struct MonitorIdentity {
    std::optional<std::string> name;          // the display name descriptor
    std::optional<std::string> manufacturer;  // three-letter PNP id
    std::optional<int> yearOfManufacture;
};

MonitorIdentity parseEdid(std::string_view edid);

}  // namespace nvx::linux_source
