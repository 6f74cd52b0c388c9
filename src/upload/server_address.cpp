// The server address policy: only a bare origin is accepted, https to any
// host, plain http only to the local machine.

#include <arpa/inet.h>

#include <array>
#include <charconv>
#include <optional>

#include "core/errors.h"
#include "upload/depotrium_api.h"
#include "upload/percent_encoding.h"

namespace nvx {
namespace {

// White space and line breaks that may surround a pasted address: ASCII
// and the Unicode space characters, as UTF-8.
constexpr std::array<std::string_view, 26> surroundingSpaces = {
    " ",            "\t",           "\n",           "\r",           "\v",           "\f",
    "\xC2\x85",     "\xC2\xA0",     "\xE1\x9A\x80", "\xE2\x80\x80", "\xE2\x80\x81", "\xE2\x80\x82",
    "\xE2\x80\x83", "\xE2\x80\x84", "\xE2\x80\x85", "\xE2\x80\x86", "\xE2\x80\x87", "\xE2\x80\x88",
    "\xE2\x80\x89", "\xE2\x80\x8A", "\xE2\x80\xA8", "\xE2\x80\xA9", "\xE2\x80\xAF", "\xE2\x81\x9F",
    "\xE3\x80\x80", "\xEF\xBB\xBF",
};

std::size_t leadingSpaceLength(std::string_view text) {
    for (auto space : surroundingSpaces) {
        if (text.starts_with(space)) return space.size();
    }
    return 0;
}

std::size_t trailingSpaceLength(std::string_view text) {
    for (auto space : surroundingSpaces) {
        if (text.ends_with(space)) return space.size();
    }
    return 0;
}

std::string_view trimmed(std::string_view text) {
    while (std::size_t length = leadingSpaceLength(text)) text.remove_prefix(length);
    while (std::size_t length = trailingSpaceLength(text)) text.remove_suffix(length);
    return text;
}

bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool isSchemeText(std::string_view scheme) {
    if (scheme.empty() || !isAlpha(scheme.front())) return false;
    for (char c : scheme) {
        if (!isAlpha(c) && !isDigit(c) && c != '+' && c != '-' && c != '.') return false;
    }
    return true;
}

// A registered name or dotted IPv4 address. Percent escapes, sub-delimiters
// and non-ASCII letters are refused: a host that needs them is not one we
// want to send a report to, and refusing them keeps "the host as parsed"
// identical to the host as typed.
bool isPlainHostName(std::string_view host) {
    if (host.empty()) return false;
    for (char c : host) {
        if (!isAlpha(c) && !isDigit(c) && c != '-' && c != '.' && c != '_' && c != '~') return false;
    }
    return true;
}

bool isIPv6Literal(std::string_view literal) {
    if (literal.empty() || literal.size() > INET6_ADDRSTRLEN) return false;
    std::string text(literal);
    in6_addr address{};
    return inet_pton(AF_INET6, text.c_str(), &address) == 1;
}

bool isPortText(std::string_view port) {
    if (port.empty()) return true;  // "host:" names no port, as in "host"
    unsigned value = 0;
    auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), value);
    return error == std::errc() && end == port.data() + port.size() && value <= 65535 && isDigit(port.front());
}

// Splits an absolute URL that names an origin into its parts; nullopt for
// anything that does not parse or carries user information, a query or a
// fragment (even an empty one).
std::optional<ServerAddress> parsedOrigin(std::string_view text) {
    for (unsigned char c : text) {
        if (c <= 0x20 || c >= 0x7F) return std::nullopt;  // spaces, controls, non-ASCII
    }
    const auto colon = text.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    ServerAddress address;
    address.text = std::string(text);
    address.scheme = std::string(text.substr(0, colon));
    if (!isSchemeText(address.scheme)) return std::nullopt;

    std::string_view rest = text.substr(colon + 1);
    if (!rest.starts_with("//")) return std::nullopt;  // no authority, so no host
    rest.remove_prefix(2);
    if (rest.find_first_of("?#") != std::string_view::npos) return std::nullopt;

    const auto authorityEnd = rest.find('/');
    std::string_view authority = rest.substr(0, authorityEnd);
    address.path = authorityEnd == std::string_view::npos ? "" : std::string(rest.substr(authorityEnd));
    if (authority.find('@') != std::string_view::npos) return std::nullopt;

    std::string_view portText;
    if (authority.starts_with('[')) {
        const auto close = authority.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        std::string_view literal = authority.substr(1, close - 1);
        if (!isIPv6Literal(literal)) return std::nullopt;
        address.host = std::string(literal);
        std::string_view after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':') return std::nullopt;
            portText = after.substr(1);
        }
    } else {
        const auto portColon = authority.find(':');
        std::string_view host = authority.substr(0, portColon);
        if (!isPlainHostName(host)) return std::nullopt;
        address.host = std::string(host);
        if (portColon != std::string_view::npos) portText = authority.substr(portColon + 1);
    }
    if (!isPortText(portText)) return std::nullopt;
    address.port = std::string(portText);
    return address;
}

bool isLoopbackHost(const std::string& host) { return host == "localhost" || host == "127.0.0.1" || host == "::1"; }

}  // namespace

std::string ServerAddress::endpoint(std::string_view relativePath) const {
    std::string address = text;
    if (path.empty()) address += '/';
    address += relativePath;
    return address;
}

namespace DepotriumAPI {

ServerAddress checkedURL(std::string_view server) {
    std::optional<ServerAddress> address = parsedOrigin(trimmed(server));
    if (!address || (address->path != "" && address->path != "/")) throw DepotriumError(addressPolicyMessage);
    if (address->scheme == "https") return *address;
    if (address->scheme == "http" && isLoopbackHost(address->host)) return *address;
    throw DepotriumError(addressPolicyMessage);
}

std::string recordAddress(const ServerAddress& server, std::string_view id) {
    return server.text + "?run=" + percentEncoded(id);
}

}  // namespace DepotriumAPI
}  // namespace nvx
