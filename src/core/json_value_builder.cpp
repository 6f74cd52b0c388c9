#include "json_value_builder.h"

namespace nvx {

JSONValue* JSONValueBuilder::place(JSONValue value) {
    if (stack_.empty()) {
        started_ = true;
        root_ = std::move(value);
        return &root_;
    }
    auto& container = stack_.back()->storage_;
    if (auto* array = std::get_if<JSONValue::Array>(&container)) {
        array->push_back(std::move(value));
        return &array->back();
    }
    auto& object = std::get<JSONValue::Object>(container);
    auto [member, inserted] = object.insert_or_assign(std::move(pendingKey_), std::move(value));
    pendingKey_.clear();
    return &member->second;
}

bool JSONValueBuilder::null() {
    place(JSONValue());
    return true;
}

bool JSONValueBuilder::boolean(bool value) {
    place(JSONValue(value));
    return true;
}

bool JSONValueBuilder::number(double value) {
    place(JSONValue(value));
    return true;
}

bool JSONValueBuilder::string(std::string& value) {
    place(JSONValue(std::move(value)));
    return true;
}

bool JSONValueBuilder::startObject() {
    stack_.push_back(place(JSONValue(JSONValue::Object{})));
    return true;
}

bool JSONValueBuilder::key(std::string& value) {
    pendingKey_ = std::move(value);
    return true;
}

bool JSONValueBuilder::endObject() {
    stack_.pop_back();
    return true;
}

bool JSONValueBuilder::startArray() {
    stack_.push_back(place(JSONValue(JSONValue::Array{})));
    return true;
}

bool JSONValueBuilder::endArray() {
    stack_.pop_back();
    return true;
}

}  // namespace nvx
