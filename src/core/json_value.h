#pragma once

#include <map>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace nvx {

// A JSON tree of no fixed shape: the privacy-filtered hardware inventory.
// Every number is a double; there is no separate integer case.
//
// Trees come from untrusted documents, so no walk may recurse once per level
// without a bound: copying, comparing and destroying are iterative for any
// depth, and the readers and writers below, which recurse, refuse trees
// deeper than maximumNestingDepth.
class JSONValue {
public:
    using Object = std::map<std::string, JSONValue, std::less<>>;
    using Array = std::vector<JSONValue>;
    enum class Kind { object, array, string, number, boolean, null };

    JSONValue() : storage_(nullptr) {}
    JSONValue(std::nullptr_t) : storage_(nullptr) {}
    JSONValue(Object object) : storage_(std::move(object)) {}
    JSONValue(Array array) : storage_(std::move(array)) {}
    JSONValue(std::string text) : storage_(std::move(text)) {}
    JSONValue(const char* text) : storage_(std::string(text)) {}
    JSONValue(double number) : storage_(number) {}
    JSONValue(int number) : storage_(static_cast<double>(number)) {}
    JSONValue(bool flag) : storage_(flag) {}

    // Copies level by level instead of recursing.
    JSONValue(const JSONValue& other);
    JSONValue(JSONValue&&) noexcept = default;
    JSONValue& operator=(const JSONValue& other);
    JSONValue& operator=(JSONValue&&) noexcept = default;
    // Takes nested containers apart one at a time instead of recursing.
    ~JSONValue();

    Kind kind() const { return static_cast<Kind>(storage_.index()); }

    // The payload when the value has that case, else nullptr.
    const Object* object() const { return std::get_if<Object>(&storage_); }
    const Array* array() const { return std::get_if<Array>(&storage_); }
    const std::string* string() const { return std::get_if<std::string>(&storage_); }
    const double* number() const { return std::get_if<double>(&storage_); }
    const bool* boolean() const { return std::get_if<bool>(&storage_); }
    bool isNull() const { return kind() == Kind::null; }

    // Same case and equal payloads at every depth; a not-a-number is unequal
    // to itself.
    friend bool operator==(const JSONValue& first, const JSONValue& second);

    // Reads any JSON value: null, then Boolean, number, string, array, object.
    // Throws ParseError for a tree nested deeper than maximumNestingDepth.
    static JSONValue fromJSON(const nlohmann::json& json);
    // Throws EncodingError when a number anywhere in the tree is not finite
    // or the tree nests deeper than maximumNestingDepth.
    nlohmann::json toJSON() const;

    // Parses JSON text; throws ParseError with a readable description.
    static JSONValue parse(std::string_view text);

private:
    friend class JSONValueBuilder;
    static JSONValue fromJSON(const nlohmann::json& json, std::size_t depth);
    nlohmann::json toJSON(std::size_t depth) const;
    // Whether the value is an array or object holding anything.
    bool hasChildren() const;

    // The order of the alternatives is the order of Kind.
    std::variant<Object, Array, std::string, double, bool, std::nullptr_t> storage_;
};

}  // namespace nvx
