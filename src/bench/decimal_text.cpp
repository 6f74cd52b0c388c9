#include "bench/decimal_text.h"

#include <charconv>

namespace nvx {

namespace {

template <typename Number>
std::string shortestText(Number value) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

}  // namespace

std::string shortestDecimal(double value) {
    return shortestText(value);
}

std::string shortestDecimal(float value) {
    return shortestText(value);
}

}  // namespace nvx
