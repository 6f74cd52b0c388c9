#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace nvx {

// A copy of `node` without any object member whose lower-cased key contains
// "serial", "uuid", "udid" or "wwn", at every depth. Values are never examined.
nlohmann::json cleanedInventory(const nlohmann::json& node);

// A stable, non-reversible identifier of the computer in lower-case UUID form,
// derived with SHA-256 from its platform UUID; random when that is absent or
// empty.
std::string deviceIdentifier(const std::optional<std::string>& platformUUID);

}  // namespace nvx
