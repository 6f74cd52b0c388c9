#pragma once

namespace nvx {

// The production depot: the window's initial server address when
// NVX_SERVER_URL is not set, and the https address the core checks vet.
inline constexpr const char* defaultServerAddress = "https://depot.nvx.example";

}  // namespace nvx
