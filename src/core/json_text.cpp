#include "json_text.h"

#include <cmath>

#include "errors.h"

namespace nvx {

nlohmann::json parseJSONText(std::string_view text) {
    try {
        return nlohmann::json::parse(text.begin(), text.end());
    } catch (const nlohmann::json::parse_error& error) {
        throw ParseError("Данные не являются корректным JSON: ошибка около байта " +
                         std::to_string(error.byte) + ".");
    }
}

namespace {

bool allNumbersFinite(const nlohmann::json& json) {
    switch (json.type()) {
    case nlohmann::json::value_t::number_float:
        return std::isfinite(json.get<double>());
    case nlohmann::json::value_t::array:
    case nlohmann::json::value_t::object:
        for (const auto& element : json)
            if (!allNumbersFinite(element)) return false;
        return true;
    default:
        return true;
    }
}

}  // namespace

std::string encodeJSONText(const nlohmann::json& json) {
    // nlohmann writes a non-finite double as null; we refuse instead, so a
    // report never silently changes on its way to disk or to the depot.
    if (!allNumbersFinite(json)) throw EncodingError(nonFiniteNumberMessage);
    try {
        // nlohmann's default object type is a std::map, so keys come out sorted
        // by byte order at every depth; it never escapes '/'.
        return json.dump(2);
    } catch (const nlohmann::json::type_error&) {
        throw EncodingError("Не удалось записать JSON: текст содержит байты не в кодировке UTF-8.");
    }
}

}  // namespace nvx
