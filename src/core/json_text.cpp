#include "json_text.h"

#include <cmath>
#include <string>

#include "errors.h"
#include "json_nesting.h"

namespace nvx {

nlohmann::json parseJSONText(std::string_view text) {
    // nlohmann's document parser and its checks recurse once per level, so a
    // deeply nested text would exhaust the stack: refuse it before parsing.
    if (const auto tooDeep = firstTooDeepByte(text)) {
        throw ParseError("Данные JSON не приняты: " + tooDeepDetail(tooDeep) + ".");
    }
    try {
        return nlohmann::json::parse(text.begin(), text.end());
    } catch (const nlohmann::json::parse_error& error) {
        throw ParseError("Данные не являются корректным JSON: ошибка около байта " + std::to_string(error.byte) + ".");
    } catch (const nlohmann::json::out_of_range&) {
        // A number beyond a double's range (1e400): nlohmann throws its own
        // out_of_range, which no caller of a text reader expects.
        throw ParseError(std::string("Данные JSON не приняты: ") + outOfRangeNumberDetail + ".");
    }
}

namespace {

// Refuses what cannot be written faithfully or read back: a non-finite
// number, or nesting beyond what any of our readers accepts. Recursion is
// bounded by that same limit.
void requireWritable(const nlohmann::json& json, std::size_t depth) {
    switch (json.type()) {
        case nlohmann::json::value_t::number_float:
            if (!std::isfinite(json.get<double>())) throw EncodingError(nonFiniteNumberMessage);
            return;
        case nlohmann::json::value_t::array:
        case nlohmann::json::value_t::object:
            if (depth + 1 > maximumNestingDepth) {
                throw EncodingError("Не удалось записать JSON: " + tooDeepDetail(std::nullopt) + ".");
            }
            for (const auto& element : json) requireWritable(element, depth + 1);
            return;
        default:
            return;
    }
}

}  // namespace

std::string encodeJSONText(const nlohmann::json& json) {
    // nlohmann writes a non-finite double as null; we refuse instead, so a
    // report never silently changes on its way to disk or to the depot.
    requireWritable(json, 0);
    try {
        // nlohmann's default object type is a std::map, so keys come out sorted
        // by byte order at every depth; it never escapes '/'.
        return json.dump(2);
    } catch (const nlohmann::json::type_error&) {
        throw EncodingError("Не удалось записать JSON: текст содержит байты не в кодировке UTF-8.");
    }
}

}  // namespace nvx
