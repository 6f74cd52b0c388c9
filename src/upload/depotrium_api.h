#pragma once

#include <string>
#include <string_view>

#include "core/report.h"

namespace nvx {

// A server address that passed the address policy: a bare origin, https to
// any host or http to the local machine.
struct ServerAddress {
    std::string text;    // the trimmed address, exactly as typed
    std::string scheme;  // "https" or "http"
    std::string host;    // as parsed; an IPv6 literal without brackets
    std::string port;    // empty when not given
    std::string path;    // "" or "/"

    // The address of an endpoint below this origin, e.g. "api/runs".
    std::string endpoint(std::string_view relativePath) const;
};

namespace DepotriumAPI {

// Throws DepotriumError for anything but a bare https origin or an http
// origin on "localhost", "127.0.0.1" or "::1".
ServerAddress checkedURL(std::string_view server);

// 64 lower-case hexadecimal digits from two random UUIDs.
std::string makeReceiptKey();

// Submits the report with a fresh receipt key, reads it back and compares it
// field by field. Returns the record address (the server with "?run=<id>").
// Blocks the calling thread. Throws DepotriumError, EncodingError or
// TransportError.
std::string upload(const RunReport& report, std::string_view server);

}  // namespace DepotriumAPI
}  // namespace nvx
