#pragma once

// The depot address the program starts with when NVX_SERVER_URL is not set:
// the window's initial server, and the https address the core checks vet.
// Organisations that build their own packages set it at configure time with
// -DNVX_DEFAULT_SERVER=https://depot.example.org (src/core/CMakeLists.txt).
#ifndef NVX_DEFAULT_SERVER
#define NVX_DEFAULT_SERVER "https://depot.nvx.example"
#endif

namespace nvx {

inline constexpr const char* defaultServerAddress = NVX_DEFAULT_SERVER;

}  // namespace nvx
