#include "random_id.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>

#if defined(__APPLE__)
#include <stdlib.h>
#else
#include <sys/random.h>
#endif

namespace nvx {

void fillRandomBytes(void* buffer, std::size_t size) {
#if defined(__APPLE__)
    arc4random_buf(buffer, size);
#else
    auto* bytes = static_cast<unsigned char*>(buffer);
    while (size > 0) {
        ssize_t count = ::getrandom(bytes, size, 0);
        if (count < 0) {
            if (errno == EINTR) continue;
            std::abort();  // no entropy source: nothing sensible can follow
        }
        bytes += count;
        size -= static_cast<std::size_t>(count);
    }
#endif
}

std::string randomUUID(UUIDCase letterCase) {
    unsigned char bytes[16];
    fillRandomBytes(bytes, sizeof bytes);
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);
    return formatUUID(bytes, letterCase);
}

std::string formatUUID(const unsigned char (&bytes)[16], UUIDCase letterCase) {
    const char* digits = letterCase == UUIDCase::lower ? "0123456789abcdef" : "0123456789ABCDEF";
    std::string text;
    text.reserve(36);
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) text.push_back('-');
        text.push_back(digits[bytes[i] >> 4]);
        text.push_back(digits[bytes[i] & 0x0F]);
    }
    return text;
}

bool isCanonicalUUID(const std::string& text) {
    if (text.size() != 36) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (c != '-') return false;
        } else if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) {
            return false;
        }
    }
    return true;
}

}  // namespace nvx
