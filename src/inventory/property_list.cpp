#include "inventory/property_list.h"

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <memory>
#include <optional>

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

// A big-endian unsigned number of `size` bytes at `at`; absent past the end.
std::optional<std::uint64_t> bigEndian(std::string_view bytes, std::uint64_t at, std::uint64_t size) {
    if (size == 0 || size > 8 || at > bytes.size() || size > bytes.size() - at) return std::nullopt;
    std::uint64_t value = 0;
    for (std::uint64_t index = 0; index < size; ++index)
        value = value << 8 | static_cast<unsigned char>(bytes[at + index]);
    return value;
}

// Whether a binary list holds a text with a NUL character. libplist hands
// such a text out only after asserting that it has none, which aborts the
// process, so such a list must never reach it. Walks the object table as
// the format lays it out; a table that does not fit the bytes is left to
// libplist, which refuses it.
bool binaryListHasTextWithNul(std::string_view bytes) {
    constexpr std::size_t trailerSize = 32;
    if (bytes.size() < 8 + trailerSize) return false;
    const std::uint64_t trailer = bytes.size() - trailerSize;
    const auto offsetSize = bigEndian(bytes, trailer + 6, 1);
    const auto objectCount = bigEndian(bytes, trailer + 8, 8);
    const auto tableOffset = bigEndian(bytes, trailer + 24, 8);
    if (!offsetSize || !objectCount || !tableOffset || *offsetSize == 0 || *offsetSize > 8) return false;
    if (*tableOffset > trailer || *objectCount > (trailer - *tableOffset) / *offsetSize) return false;
    for (std::uint64_t object = 0; object < *objectCount; ++object) {
        const auto at = bigEndian(bytes, *tableOffset + object * *offsetSize, *offsetSize);
        if (!at || *at >= trailer) continue;
        const auto marker = static_cast<unsigned char>(bytes[*at]);
        const unsigned kind = marker >> 4;
        if (kind != 0x5 && kind != 0x6) continue;  // ASCII and UTF-16 texts
        std::uint64_t length = marker & 0x0F;
        std::uint64_t start = *at + 1;
        if (length == 0x0F) {  // the length follows as an integer object
            const auto lengthMarker = bigEndian(bytes, start, 1);
            if (!lengthMarker || (*lengthMarker >> 4) != 0x1) continue;
            const std::uint64_t lengthSize = std::uint64_t{1} << (*lengthMarker & 0x0F);
            const auto stated = bigEndian(bytes, start + 1, lengthSize);
            if (!stated) continue;
            length = *stated;
            start += 1 + lengthSize;
        }
        const std::uint64_t unit = kind == 0x6 ? 2 : 1;
        if (start > trailer || length > (trailer - start) / unit) continue;
        for (std::uint64_t index = 0; index < length; ++index) {
            const std::uint64_t position = start + index * unit;
            if (bytes[position] == '\0' && (unit == 1 || bytes[position + 1] == '\0')) return true;
        }
    }
    return false;
}

}  // namespace

json parsePropertyList(std::string_view bytes) {
    constexpr const char* notAList = "Не удалось прочитать ответ системной утилиты: это не список свойств.";
    if (bytes.empty() || bytes.size() > std::numeric_limits<std::uint32_t>::max()) throw ParseError(notAList);
    // No tool writes a NUL character inside a text, and libplist aborts the
    // process on one (a binary list's text) or cuts the text short (an XML
    // list, read as a C string): such a list is refused before it is parsed.
    if (bytes.starts_with("bplist") ? binaryListHasTextWithNul(bytes) : bytes.find('\0') != std::string_view::npos)
        throw ParseError(notAList);
    plist_t raw = nullptr;
    plist_from_memory(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &raw);
    if (!raw) throw ParseError(notAList);
    std::unique_ptr<void, PlistFree> root(raw);
    return convert(root.get(), 0);
}

}  // namespace nvx
