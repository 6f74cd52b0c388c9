#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace nvx {

using SHA256Digest = std::array<std::uint8_t, 32>;

// SHA-256 of a byte string (FIPS 180-4). The inventory needs one digest of a
// few bytes per run; linking a crypto library for it would cost every fresh
// process the library's loading and configuration, which is more than all of
// the inventory's own work.
SHA256Digest sha256(std::string_view bytes);

}  // namespace nvx
