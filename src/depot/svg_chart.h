#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nvx::depot {

// Small charts drawn as inline SVG, so the pages need no scripts and no
// images: they print, scale, and pass a policy that forbids both. Every text
// put into a chart is escaped.

// One measurement at a moment.
struct TimedValue {
    std::int64_t epochSeconds = 0;
    double value = 0;
    std::string dateText;  // how the moment is labelled on the axis
};

// A line over time with a dot per value (in the order given, which must be
// by time), a value axis from zero with its unit, and dates under the time
// axis. Each dot is a <circle class="point"> whose <title> says date and value.
std::string timeChartSVG(const std::vector<TimedValue>& points, std::string_view unit, std::string_view caption);

// How `values` spread, as a histogram of a few bars, with `marked` drawn as
// a line across: where one computer stands among others.
std::string distributionSVG(const std::vector<double>& values, double marked, std::string_view unit,
                            std::string_view caption);

// Numbers as Russian readers write them: a decimal comma, at most `digits`
// decimals, trailing zeros dropped, no grouping of thousands ("1234,5").
std::string readableNumber(double value, int digits = 2);

}  // namespace nvx::depot
