#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "upload/depotrium_api.h"

namespace nvx {

struct HTTPRequest {
    std::string method;  // "GET" or "POST"
    std::string url;
    std::vector<std::string> headers;  // "Name: value"
    std::string_view body;             // sent as is with POST
    // The longest the whole exchange may take.
    std::chrono::seconds timeLimit{30};
};

struct HTTPResponse {
    long status = 0;
    std::string finalURL;  // empty when the HTTP layer reports none
    std::string body;
};

// Sends one request on the shared session and waits for the whole answer.
// Redirects are never followed: a 3xx answer is delivered as the answer.
// Throws TransportError with a Russian description for every failure to get
// an answer (no connection, time limit, TLS, an answer over
// DepotriumAPI::maximumResponseBytes).
HTTPResponse exchange(const HTTPRequest& request, const UploadOptions& options);

// The host of an absolute URL as libcurl parses it; empty when it does not
// parse or has no host.
std::string hostOfURL(const std::string& url);

}  // namespace nvx
