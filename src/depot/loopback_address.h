#pragma once

#include <string_view>

namespace nvx::depot {

// Whether a host is this machine by its loopback interface: "localhost",
// 127.0.0.0/8 or ::1 (also as an IPv4-mapped IPv6 address).
bool isLoopbackHost(std::string_view host);

}  // namespace nvx::depot
