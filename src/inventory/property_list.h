#pragma once

#include <string_view>

#include <nlohmann/json.hpp>

namespace nvx {

// A property list (XML or binary) as a loose JSON tree: dictionaries become
// objects, arrays arrays, strings text (repaired to UTF-8), integers and reals
// numbers, Booleans Booleans, dates ISO 8601 text; binary data becomes null.
// Throws ParseError when `bytes` is no property list.
nlohmann::json parsePropertyList(std::string_view bytes);

}  // namespace nvx
