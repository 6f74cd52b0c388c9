#pragma once

#include <string>
#include <string_view>

namespace nvx {

// Percent-encodes every byte except ASCII letters, digits, '-', '_' and '~',
// so that any text, dots and slashes included, stays one path segment: a
// segment of only dots would otherwise be read as "this folder" or "up".
std::string percentEncodedSegment(std::string_view text);

// Percent-encodes a query value: as a segment, but '.' stays as it is.
std::string percentEncoded(std::string_view text);

}  // namespace nvx
