#include "inventory/privacy.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <string_view>

#include "core/random_id.h"
#include "core/sha256.h"

namespace nvx {

namespace {

// Keys that name serial numbers, hardware UUIDs, device UDIDs and storage
// world-wide names, in any letter case and anywhere in the key.
bool isForbiddenKey(std::string_view key) {
    std::string lowered(key);
    for (char& character : lowered) character = static_cast<char>(std::tolower(static_cast<unsigned char>(character)));
    for (std::string_view forbidden : {"serial", "uuid", "udid", "wwn"})
        if (lowered.find(forbidden) != std::string::npos) return true;
    return false;
}

constexpr std::string_view identityPrefix = "QZR-Kalimbera-sample-v3:";

}  // namespace

nlohmann::json cleanedInventory(const nlohmann::json& node) {
    if (node.is_array()) {
        nlohmann::json cleaned = nlohmann::json::array();
        for (const auto& element : node) cleaned.push_back(cleanedInventory(element));
        return cleaned;
    }
    if (node.is_object()) {
        nlohmann::json cleaned = nlohmann::json::object();
        for (const auto& [key, value] : node.items())
            if (!isForbiddenKey(key)) cleaned[key] = cleanedInventory(value);
        return cleaned;
    }
    return node;
}

std::string deviceIdentifier(const std::optional<std::string>& platformUUID) {
    if (!platformUUID || platformUUID->empty()) return randomUUID(UUIDCase::lower);

    const std::string text = std::string(identityPrefix) + *platformUUID;
    SHA256Digest digest = sha256(text);
    // The bit layout of a name-based (version 5) UUID with the standard variant.
    digest[6] = static_cast<std::uint8_t>((digest[6] & 0x0F) | 0x50);
    digest[8] = static_cast<std::uint8_t>((digest[8] & 0x3F) | 0x80);
    unsigned char identifier[16];
    std::copy_n(digest.begin(), 16, identifier);
    return formatUUID(identifier, UUIDCase::lower);
}

}  // namespace nvx
