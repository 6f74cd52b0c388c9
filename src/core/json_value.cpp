#include "json_value.h"

#include <cmath>

#include <nlohmann/json.hpp>

#include "errors.h"
#include "json_nesting.h"
#include "json_text.h"

namespace nvx {

bool JSONValue::hasChildren() const {
    if (const Object* members = object()) return !members->empty();
    if (const Array* elements = array()) return !elements->empty();
    return false;
}

JSONValue::~JSONValue() {
    if (!hasChildren()) return;
    // Every container met is emptied into `pending` before it is destroyed,
    // so each destruction below sees no children and ends at once.
    std::vector<JSONValue> pending;
    auto takeChildren = [&pending](JSONValue& value) {
        if (auto* members = std::get_if<Object>(&value.storage_)) {
            for (auto& member : *members) {
                if (member.second.hasChildren()) pending.push_back(std::move(member.second));
            }
            members->clear();
        } else if (auto* elements = std::get_if<Array>(&value.storage_)) {
            for (auto& element : *elements) {
                if (element.hasChildren()) pending.push_back(std::move(element));
            }
            elements->clear();
        }
    };
    takeChildren(*this);
    while (!pending.empty()) {
        JSONValue value = std::move(pending.back());
        pending.pop_back();
        takeChildren(value);
    }
}

JSONValue JSONValue::fromJSON(const nlohmann::json& json) {
    return fromJSON(json, 0);
}

JSONValue JSONValue::fromJSON(const nlohmann::json& json, std::size_t depth) {
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
        case nlohmann::json::value_t::array:
        case nlohmann::json::value_t::object:
            break;
        default:
            // Binary values and the discarded marker have no JSON text form.
            throw ParseError("Значение не является данными JSON.");
    }
    if (depth + 1 > maximumNestingDepth)
        throw ParseError("Данные JSON не приняты: " + tooDeepDetail(std::nullopt) + ".");
    if (json.is_array()) {
        Array elements;
        elements.reserve(json.size());
        for (const auto& element : json) elements.push_back(fromJSON(element, depth + 1));
        return JSONValue(std::move(elements));
    }
    Object members;
    for (const auto& [key, value] : json.items()) members.emplace_hint(members.end(), key, fromJSON(value, depth + 1));
    return JSONValue(std::move(members));
}

nlohmann::json JSONValue::toJSON() const {
    return toJSON(0);
}

nlohmann::json JSONValue::toJSON(std::size_t depth) const {
    switch (kind()) {
        case Kind::object:
        case Kind::array:
            break;
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
    if (depth + 1 > maximumNestingDepth) {
        throw EncodingError("Не удалось записать JSON: " + tooDeepDetail(std::nullopt) + ".");
    }
    if (const Object* members = object()) {
        nlohmann::json json = nlohmann::json::object();
        auto& written = json.get_ref<nlohmann::json::object_t&>();
        for (const auto& [key, value] : *members) written.emplace_hint(written.end(), key, value.toJSON(depth + 1));
        return json;
    }
    nlohmann::json json = nlohmann::json::array();
    auto& written = json.get_ref<nlohmann::json::array_t&>();
    written.reserve(array()->size());
    for (const auto& element : *array()) written.push_back(element.toJSON(depth + 1));
    return json;
}

JSONValue JSONValue::parse(std::string_view text) {
    return fromJSON(parseJSONText(text));
}

}  // namespace nvx
