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

JSONValue::JSONValue(const JSONValue& other) : storage_(nullptr) {
    // Each container is made empty first and its children are filled in
    // from the list of pending pairs. Map nodes and the elements of a vector
    // sized once do not move, so the pointers stay valid.
    std::vector<std::pair<const JSONValue*, JSONValue*>> pending{{&other, this}};
    while (!pending.empty()) {
        const auto [from, to] = pending.back();
        pending.pop_back();
        if (const Object* members = from->object()) {
            Object& copied = to->storage_.emplace<Object>();
            for (const auto& [key, value] : *members) {
                const auto member = copied.emplace_hint(copied.end(), key, JSONValue());
                pending.emplace_back(&value, &member->second);
            }
        } else if (const Array* elements = from->array()) {
            Array& copied = to->storage_.emplace<Array>(elements->size());
            for (std::size_t i = 0; i < elements->size(); ++i) pending.emplace_back(&(*elements)[i], &copied[i]);
        } else {
            to->storage_ = from->storage_;
        }
    }
}

JSONValue& JSONValue::operator=(const JSONValue& other) {
    if (this != &other) *this = JSONValue(other);
    return *this;
}

bool operator==(const JSONValue& first, const JSONValue& second) {
    std::vector<std::pair<const JSONValue*, const JSONValue*>> pending{{&first, &second}};
    while (!pending.empty()) {
        const auto [left, right] = pending.back();
        pending.pop_back();
        if (left->kind() != right->kind()) return false;
        if (const JSONValue::Object* members = left->object()) {
            const JSONValue::Object& others = *right->object();
            if (members->size() != others.size()) return false;
            for (auto member = members->begin(), other = others.begin(); member != members->end(); ++member, ++other) {
                if (member->first != other->first) return false;
                pending.emplace_back(&member->second, &other->second);
            }
        } else if (const JSONValue::Array* elements = left->array()) {
            const JSONValue::Array& others = *right->array();
            if (elements->size() != others.size()) return false;
            for (std::size_t i = 0; i < elements->size(); ++i) pending.emplace_back(&(*elements)[i], &others[i]);
        } else if (left->storage_ != right->storage_) {
            // Scalars compare as the variant does: a not-a-number is unequal.
            return false;
        }
    }
    return true;
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
