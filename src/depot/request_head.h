#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "depot/connection_limits.h"

namespace nvx::depot {

// What the depot needs to know of a request before its body is read: the
// request line and the headers that frame the body.
struct RequestHead {
    std::string method;
    std::string target;
    std::optional<std::uint64_t> contentLength;
    bool contentLengthInvalid = false;  // not a number, or two that differ
    bool transferEncoding = false;      // any Transfer-Encoding header
    std::string contentEncoding;        // lower-cased; empty when absent

    // Whether the method carries a body the HTTP library will read.
    bool expectsBody() const;
};

// Reads the request line and headers (up to and including the empty line).
// Malformed lines are left for the HTTP library to refuse.
RequestHead inspectRequestHead(std::string_view head);

struct Refusal {
    int status = 0;
    std::string message;  // Russian, for the answer's "error"
};

// Why a request must be answered without reading its body, or nullopt when
// it may go on: a body over the size limit (413), a body without a length
// (411: chunked or open-ended bodies would bypass every limit), or a
// compressed one (415: it could expand far beyond the limit).
std::optional<Refusal> refusalOf(const RequestHead& head, const ConnectionLimits& limits);

}  // namespace nvx::depot
