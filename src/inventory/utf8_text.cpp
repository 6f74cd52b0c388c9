#include "inventory/utf8_text.h"

namespace nvx {

namespace {

// The length of the well-formed sequence that starts at `position`, or 0.
std::size_t sequenceLength(std::string_view bytes, std::size_t position) {
    const auto byte = [&](std::size_t offset) { return static_cast<unsigned char>(bytes[position + offset]); };
    const auto continuation = [&](std::size_t offset) {
        return position + offset < bytes.size() && (byte(offset) & 0xC0) == 0x80;
    };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return continuation(1) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        if (!continuation(1) || !continuation(2)) return 0;
        if (lead == 0xE0 && byte(1) < 0xA0) return 0;   // overlong
        if (lead == 0xED && byte(1) >= 0xA0) return 0;  // surrogate
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        if (!continuation(1) || !continuation(2) || !continuation(3)) return 0;
        if (lead == 0xF0 && byte(1) < 0x90) return 0;   // overlong
        if (lead == 0xF4 && byte(1) >= 0x90) return 0;  // beyond U+10FFFF
        return 4;
    }
    return 0;
}

}  // namespace

std::string repairedUTF8(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    std::size_t position = 0;
    while (position < bytes.size()) {
        const std::size_t length = sequenceLength(bytes, position);
        if (length == 0) {
            text += "\xEF\xBF\xBD";
            ++position;
        } else {
            text.append(bytes.substr(position, length));
            position += length;
        }
    }
    return text;
}

}  // namespace nvx
