#pragma once

#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace nvx {

inline constexpr const char* nonFiniteNumberMessage =
    "Не удалось записать JSON: число не является конечным (NaN или бесконечность).";

// Why a text holding a number too large for a double (1e400) is refused.
inline constexpr const char* outOfRangeNumberDetail = "число выходит за пределы допустимого диапазона";

// Parses JSON text. Throws ParseError whose description says where the text
// went wrong, in Russian; a text nested deeper than maximumNestingDepth is
// refused before it is parsed, and so is a number beyond a double's range.
nlohmann::json parseJSONText(std::string_view text);

// Pretty-printed JSON with the members of every object sorted by key and
// slashes left unescaped. Throws EncodingError, producing nothing, when any
// number in the tree is not finite, a text is not valid UTF-8, or the tree
// nests deeper than maximumNestingDepth (no reader would take it back).
std::string encodeJSONText(const nlohmann::json& json);

}  // namespace nvx
