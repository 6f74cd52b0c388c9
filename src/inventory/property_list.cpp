#include "inventory/property_list.h"

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <memory>

#include <plist/plist.h>

#include "core/errors.h"
#include "inventory/utf8_text.h"

namespace nvx {

using nlohmann::json;

namespace {

struct PlistFree {
    void operator()(plist_t node) const { plist_free(node); }
};

struct CharFree {
    void operator()(char* text) const { std::free(text); }
};

// Property-list dates count seconds from 2001-01-01 00:00:00 UTC.
constexpr std::int64_t appleEpochOffsetSeconds = 978307200;

// Deep trees come from broken or hostile input, never from the disk utility;
// refusing them keeps the recursion's stack use bounded.
constexpr int maximumDepth = 256;

json convert(plist_t node, int depth) {
    if (depth > maximumDepth) throw ParseError("Не удалось прочитать список свойств: слишком глубокая вложенность.");
    switch (plist_get_node_type(node)) {
        case PLIST_DICT: {
            json object = json::object();
            plist_dict_iter iterator = nullptr;
            plist_dict_new_iter(node, &iterator);
            while (iterator) {
                char* rawKey = nullptr;
                plist_t value = nullptr;
                plist_dict_next_item(node, iterator, &rawKey, &value);
                if (!value) break;
                std::unique_ptr<char, CharFree> key(rawKey);
                object[repairedUTF8(key ? key.get() : "")] = convert(value, depth + 1);
            }
            std::free(iterator);
            return object;
        }
        case PLIST_ARRAY: {
            json array = json::array();
            const std::uint32_t size = plist_array_get_size(node);
            for (std::uint32_t index = 0; index < size; ++index)
                array.push_back(convert(plist_array_get_item(node, index), depth + 1));
            return array;
        }
        case PLIST_STRING:
        case PLIST_KEY: {
            char* raw = nullptr;
            plist_get_string_val(node, &raw);
            std::unique_ptr<char, CharFree> text(raw);
            return repairedUTF8(text ? text.get() : "");
        }
        case PLIST_BOOLEAN: {
            std::uint8_t value = 0;
            plist_get_bool_val(node, &value);
            return value != 0;
        }
        case PLIST_UINT: {
            std::uint64_t value = 0;
            plist_get_uint_val(node, &value);
            return value;
        }
        case PLIST_UID: {
            std::uint64_t value = 0;
            plist_get_uid_val(node, &value);
            return value;
        }
        case PLIST_REAL: {
            double value = 0;
            plist_get_real_val(node, &value);
            return value;
        }
        case PLIST_DATE: {
            std::int32_t seconds = 0;
            std::int32_t microseconds = 0;
            plist_get_date_val(node, &seconds, &microseconds);
            const std::time_t time = static_cast<std::time_t>(seconds + appleEpochOffsetSeconds);
            std::tm utc{};
            ::gmtime_r(&time, &utc);
            char text[32];
            const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
            return std::string(text, length);
        }
        default:
            return nullptr;
    }
}

}  // namespace

json parsePropertyList(std::string_view bytes) {
    if (bytes.empty() || bytes.size() > std::numeric_limits<std::uint32_t>::max())
        throw ParseError("Не удалось прочитать ответ системной утилиты: это не список свойств.");
    plist_t raw = nullptr;
    plist_from_memory(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &raw);
    if (!raw) throw ParseError("Не удалось прочитать ответ системной утилиты: это не список свойств.");
    std::unique_ptr<void, PlistFree> root(raw);
    return convert(root.get(), 0);
}

}  // namespace nvx
