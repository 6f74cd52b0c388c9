#include "json_value.h"

#include <cmath>

#include <nlohmann/json.hpp>

#include "errors.h"
#include "json_text.h"

namespace nvx {

JSONValue JSONValue::fromJSON(const nlohmann::json& json) {
    switch (json.type()) {
    case nlohmann::json::value_t::null:
        return JSONValue();
    case nlohmann::json::value_t::boolean:
        return JSONValue(json.get<bool>());
    case nlohmann::json::value_t::number_integer:
        return JSONValue(static_cast<double>(json.get<std::int64_t>()));
    case nlohmann::json::value_t::number_unsigned:
        return JSONValue(static_cast<double>(json.get<std::uint64_t>()));
    case nlohmann::json::value_t::number_float:
        return JSONValue(json.get<double>());
    case nlohmann::json::value_t::string:
        return JSONValue(json.get_ref<const std::string&>());
    case nlohmann::json::value_t::array: {
        Array elements;
        elements.reserve(json.size());
        for (const auto& element : json) elements.push_back(fromJSON(element));
        return JSONValue(std::move(elements));
    }
    case nlohmann::json::value_t::object: {
        Object members;
        for (const auto& [key, value] : json.items()) members.emplace_hint(members.end(), key, fromJSON(value));
        return JSONValue(std::move(members));
    }
    default:
        // Binary values and the discarded marker have no JSON text form.
        throw ParseError("Значение не является данными JSON.");
    }
}

nlohmann::json JSONValue::toJSON() const {
    switch (kind()) {
    case Kind::object: {
        nlohmann::json json = nlohmann::json::object();
        auto& members = json.get_ref<nlohmann::json::object_t&>();
        for (const auto& [key, value] : *object()) members.emplace_hint(members.end(), key, value.toJSON());
        return json;
    }
    case Kind::array: {
        nlohmann::json json = nlohmann::json::array();
        auto& elements = json.get_ref<nlohmann::json::array_t&>();
        elements.reserve(array()->size());
        for (const auto& element : *array()) elements.push_back(element.toJSON());
        return json;
    }
    case Kind::string:
        return *string();
    case Kind::number:
        if (!std::isfinite(*number())) throw EncodingError(nonFiniteNumberMessage);
        return *number();
    case Kind::boolean:
        return *boolean();
    case Kind::null:
        return nullptr;
    }
    return nullptr;
}

JSONValue JSONValue::parse(std::string_view text) {
    return fromJSON(parseJSONText(text));
}

}  // namespace nvx
