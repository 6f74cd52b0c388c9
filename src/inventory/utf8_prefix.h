#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace nvx {

// The first `limit` code points of a UTF-8 text that arrives in pieces of any
// size, kept only while the whole text stays valid. Strict: overlong forms,
// surrogates, values past U+10FFFF and stray continuation bytes are invalid.
// A cut never splits a sequence.
class Utf8Prefix {
public:
    explicit Utf8Prefix(std::size_t limit) : limit_(limit) {}

    // Returns false once the text seen so far is not valid UTF-8.
    bool append(std::string_view bytes);
    // True when everything appended is valid UTF-8 and ends on a character
    // boundary (a sequence cut off by the end of the text is invalid).
    bool valid() const { return valid_ && remaining_ == 0; }
    // The kept characters; meaningful only when valid().
    const std::string& text() const { return kept_; }

private:
    // Takes one byte; false when it cannot continue the text.
    bool feed(std::uint8_t byte);

    std::size_t limit_;
    std::size_t keptCharacters_ = 0;
    std::string kept_;
    std::string pending_;
    int remaining_ = 0;  // continuation bytes still expected
    std::uint8_t lowest_ = 0x80;
    std::uint8_t highest_ = 0xBF;
    bool valid_ = true;
};

}  // namespace nvx
