#include "depot/loopback_address.h"

#include <arpa/inet.h>

#include <string>

namespace nvx::depot {

bool isLoopbackHost(std::string_view host) {
    if (host == "localhost") return true;
    const std::string text(host);
    in_addr ipv4{};
    if (::inet_pton(AF_INET, text.c_str(), &ipv4) == 1) return (ntohl(ipv4.s_addr) >> 24) == 127;
    in6_addr ipv6{};
    if (::inet_pton(AF_INET6, text.c_str(), &ipv6) != 1) return false;
    if (IN6_IS_ADDR_LOOPBACK(&ipv6)) return true;
    return IN6_IS_ADDR_V4MAPPED(&ipv6) && ipv6.s6_addr[12] == 127;
}

}  // namespace nvx::depot
