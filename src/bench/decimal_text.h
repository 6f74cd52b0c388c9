#pragma once

#include <string>

namespace nvx {

// The shortest decimal text that reads back as the same value ("0.65", not
// "0.650000").
std::string shortestDecimal(double value);
std::string shortestDecimal(float value);

}  // namespace nvx
