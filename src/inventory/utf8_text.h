#pragma once

#include <string>
#include <string_view>

namespace nvx {

// `bytes` as valid UTF-8: every byte that does not belong to a well-formed
// sequence becomes U+FFFD. Kernel attributes and tool answers may hold stray
// bytes, and the report's JSON writer refuses text that is not UTF-8.
std::string repairedUTF8(std::string_view bytes);

}  // namespace nvx
