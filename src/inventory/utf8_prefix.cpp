#include "inventory/utf8_prefix.h"

namespace nvx {

bool Utf8Prefix::feed(std::uint8_t byte) {
    if (remaining_ == 0) {
        lowest_ = 0x80;
        highest_ = 0xBF;
        if (byte < 0x80) return true;
        if (byte >= 0xC2 && byte <= 0xDF) {
            remaining_ = 1;
        } else if (byte >= 0xE0 && byte <= 0xEF) {
            remaining_ = 2;
            if (byte == 0xE0) lowest_ = 0xA0;   // overlong below U+0800
            if (byte == 0xED) highest_ = 0x9F;  // surrogates
        } else if (byte >= 0xF0 && byte <= 0xF4) {
            remaining_ = 3;
            if (byte == 0xF0) lowest_ = 0x90;   // overlong below U+10000
            if (byte == 0xF4) highest_ = 0x8F;  // past U+10FFFF
        } else {
            return false;
        }
        return true;
    }
    if (byte < lowest_ || byte > highest_) return false;
    lowest_ = 0x80;
    highest_ = 0xBF;
    --remaining_;
    return true;
}

bool Utf8Prefix::append(std::string_view bytes) {
    if (!valid_) return false;
    for (char character : bytes) {
        if (!feed(static_cast<std::uint8_t>(character))) {
            valid_ = false;
            kept_.clear();
            pending_.clear();
            return false;
        }
        if (keptCharacters_ == limit_) continue;  // only validating from here on
        pending_.push_back(character);
        if (remaining_ == 0) {
            kept_ += pending_;
            pending_.clear();
            ++keptCharacters_;
        }
    }
    return true;
}

}  // namespace nvx
