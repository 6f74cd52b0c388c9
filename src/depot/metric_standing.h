#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "depot/html_pages.h"

namespace nvx::depot {

// Fewer computers of a model than this make no comparison worth showing.
inline constexpr std::size_t minimumComputersForStanding = 5;

// Where a value stands among others. The percentile counts the values below
// it and half of those equal to it (one computer alone in the middle is at
// 50), in whole percent.
struct Percentile {
    int percentile = 0;
    std::size_t below = 0;
    std::size_t equal = 0;
    std::size_t above = 0;
};
Percentile percentileOf(double value, const std::vector<double>& values);

// The record page's section: for each standing, the percentile said in
// words and a small distribution chart, or why there is no comparison.
// Nothing at all when `standings` is empty.
std::string standingsSection(std::string_view model, const std::vector<MetricStanding>& standings);

}  // namespace nvx::depot
