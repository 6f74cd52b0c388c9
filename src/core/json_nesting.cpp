#include "json_nesting.h"

namespace nvx {

std::optional<std::size_t> firstTooDeepByte(std::string_view text, std::size_t limit) {
    std::size_t depth = 0;
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\') {
                ++i;  // the escaped character cannot end the string
            } else if (c == '"') {
                inString = false;
            }
            continue;
        }
        switch (c) {
            case '"':
                inString = true;
                break;
            case '[':
            case '{':
                if (++depth > limit) return i;
                break;
            case ']':
            case '}':
                if (depth > 0) --depth;
                break;
            default:
                break;
        }
    }
    return std::nullopt;
}

std::string tooDeepDetail(std::optional<std::size_t> byte) {
    std::string detail = "вложенность массивов и объектов глубже " + std::to_string(maximumNestingDepth) + " уровней";
    if (byte) detail += " (около байта " + std::to_string(*byte) + ")";
    return detail;
}

}  // namespace nvx
