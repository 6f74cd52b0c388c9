#include "upload/percent_encoding.h"

namespace nvx {
namespace {

std::string encoded(std::string_view text, bool keepDots) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string result;
    result.reserve(text.size());
    for (unsigned char c : text) {
        const bool unreserved = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                                c == '-' || c == '_' || c == '~' || (keepDots && c == '.');
        if (unreserved) {
            result.push_back(static_cast<char>(c));
        } else {
            result.push_back('%');
            result.push_back(digits[c >> 4]);
            result.push_back(digits[c & 0x0F]);
        }
    }
    return result;
}

}  // namespace

std::string percentEncodedSegment(std::string_view text) { return encoded(text, false); }

std::string percentEncoded(std::string_view text) { return encoded(text, true); }

}  // namespace nvx
