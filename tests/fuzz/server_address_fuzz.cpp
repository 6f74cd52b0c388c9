// Server addresses are typed or pasted by users and read from settings.
// Promise: checking never crashes and refuses only with the policy's one
// message; a checked address re-checks to itself; plain HTTP never reaches a
// host other than the local machine; percent encoding keeps only unreserved
// bytes and decodes back to the text.

#include <cstring>

#include "core/errors.h"
#include "fuzz_support.h"
#include "upload/depotrium_api.h"
#include "upload/percent_encoding.h"

using namespace nvx;

namespace {

std::string decoded(std::string_view encoded) {
    std::string text;
    for (std::size_t at = 0; at < encoded.size(); ++at) {
        if (encoded[at] != '%') {
            text += encoded[at];
            continue;
        }
        fuzz::require(at + 2 < encoded.size(), "an escape has two digits");
        const auto digit = [&](char c) -> int {
            if (c >= '0' && c <= '9') return c - '0';
            if (c >= 'A' && c <= 'F') return c - 'A' + 10;
            fuzz::brokenPromise("escapes use upper-case hexadecimal digits");
        };
        text += static_cast<char>(digit(encoded[at + 1]) << 4 | digit(encoded[at + 2]));
        at += 2;
    }
    return text;
}

void requireEncoding(std::string_view text, const std::string& encoded, const char* keptMarks) {
    for (char c : encoded) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '%' ||
                           (c != '\0' && std::strchr(keptMarks, c));
        fuzz::require(plain, "encoding leaves only unreserved characters", encoded);
    }
    fuzz::require(decoded(encoded) == text, "encoding decodes back to the text", encoded);
}

bool isLoopback(const std::string& host) { return host == "localhost" || host == "127.0.0.1" || host == "::1"; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = fuzz::bytesOf(data, size);
    requireEncoding(text, percentEncodedSegment(text), "-_~");
    requireEncoding(text, percentEncoded(text), "-_~.");

    ServerAddress address;
    try {
        address = DepotriumAPI::checkedURL(text);
    } catch (const DepotriumError& error) {
        fuzz::require(error.message() == DepotriumAPI::addressPolicyMessage, "one message for every refusal");
        return 0;
    }
    fuzz::require(address.scheme == "https" || (address.scheme == "http" && isLoopback(address.host)),
                  "plain http reaches only the local machine", address.text);
    fuzz::require(address.path.empty() || address.path == "/", "only a bare origin", address.text);
    ServerAddress again;
    try {
        again = DepotriumAPI::checkedURL(address.text);
    } catch (const DepotriumError&) {
        fuzz::brokenPromise("a checked address passes again", address.text);
    }
    fuzz::require(again.text == address.text && again.scheme == address.scheme && again.host == address.host &&
                      again.port == address.port && again.path == address.path,
                  "a checked address re-checks to itself", address.text);
    const std::string record = DepotriumAPI::recordAddress(address, text);
    fuzz::require(record.starts_with(address.text + "?run="), "the record address is below the server", record);
    return 0;
}
