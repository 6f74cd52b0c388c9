#include "depot/svg_chart.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "depot/html_pages.h"

namespace nvx::depot {
namespace {

constexpr double chartWidth = 640;
constexpr double chartHeight = 220;
constexpr double leftMargin = 70;
constexpr double rightMargin = 20;
constexpr double topMargin = 28;
constexpr double bottomMargin = 40;

std::string coordinate(double value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.1f", value);
    return buffer;
}

// A round step for about `wanted` ticks from zero to `top`: 1, 2 or 5 × 10ⁿ.
double tickStep(double top, int wanted) {
    const double rough = top / wanted;
    const double magnitude = std::pow(10.0, std::floor(std::log10(rough)));
    for (double factor : {1.0, 2.0, 5.0, 10.0})
        if (factor * magnitude >= rough) return factor * magnitude;
    return 10 * magnitude;
}

std::string svgStart(std::string_view caption) {
    return "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " + coordinate(chartWidth) + " " +
           coordinate(chartHeight) + "\" width=\"" + coordinate(chartWidth) + "\" height=\"" + coordinate(chartHeight) +
           "\" role=\"img\" aria-label=\"" + escapedHTML(caption) + "\" class=\"chart\">" + "<title>" +
           escapedHTML(caption) + "</title>";
}

struct ValueAxis {
    double top = 1;
    double step = 1;
};

ValueAxis valueAxisFor(double largest) {
    if (!(largest > 0) || !std::isfinite(largest)) return {};
    const double step = tickStep(largest, 4);
    return {std::ceil(largest / step) * step, step};
}

double yOf(const ValueAxis& axis, double value) {
    const double plotHeight = chartHeight - topMargin - bottomMargin;
    const double clamped = std::clamp(value, 0.0, axis.top);
    return topMargin + plotHeight * (1 - clamped / axis.top);
}

// Grid lines, tick labels and the unit above the value axis.
std::string valueAxisSVG(const ValueAxis& axis, std::string_view unit) {
    std::string svg;
    const double right = chartWidth - rightMargin;
    for (double tick = 0; tick <= axis.top + axis.step / 2; tick += axis.step) {
        const std::string y = coordinate(yOf(axis, tick));
        svg += "<line x1=\"" + coordinate(leftMargin) + "\" y1=\"" + y + "\" x2=\"" + coordinate(right) + "\" y2=\"" +
               y + "\" stroke=\"#ddd\"/>";
        svg += "<text x=\"" + coordinate(leftMargin - 6) + "\" y=\"" + y +
               "\" text-anchor=\"end\" dominant-baseline=\"middle\" font-size=\"11\" fill=\"#555\">" +
               escapedHTML(readableNumber(tick)) + "</text>";
    }
    svg += "<text x=\"" + coordinate(leftMargin) + "\" y=\"14\" font-size=\"12\" fill=\"#333\">" + escapedHTML(unit) +
           "</text>";
    // The axes themselves.
    const std::string bottom = coordinate(chartHeight - bottomMargin);
    svg += "<line x1=\"" + coordinate(leftMargin) + "\" y1=\"" + coordinate(topMargin) + "\" x2=\"" +
           coordinate(leftMargin) + "\" y2=\"" + bottom + "\" stroke=\"#333\"/>";
    svg += "<line x1=\"" + coordinate(leftMargin) + "\" y1=\"" + bottom + "\" x2=\"" + coordinate(right) + "\" y2=\"" +
           bottom + "\" stroke=\"#333\"/>";
    return svg;
}

}  // namespace

std::string readableNumber(double value, int digits) {
    if (!std::isfinite(value)) return "—";
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", digits, value);
    std::string text = buffer;
    if (text.find('.') != std::string::npos) {
        while (text.back() == '0') text.pop_back();
        if (text.back() == '.') text.pop_back();
    }
    std::replace(text.begin(), text.end(), '.', ',');
    if (text == "-0") text = "0";
    return text;
}

std::string timeChartSVG(const std::vector<TimedValue>& points, std::string_view unit, std::string_view caption) {
    std::string svg = svgStart(caption);
    double largest = 0;
    for (const auto& point : points) largest = std::max(largest, point.value);
    const ValueAxis axis = valueAxisFor(largest);
    svg += valueAxisSVG(axis, unit);
    if (points.empty()) return svg + "</svg>";

    const double first = static_cast<double>(points.front().epochSeconds);
    const double span = static_cast<double>(points.back().epochSeconds) - first;
    const double plotWidth = chartWidth - leftMargin - rightMargin - 20;
    auto xOf = [&](const TimedValue& point) {
        // One moment only (or one point): in the middle.
        if (!(span > 0)) return leftMargin + 10 + plotWidth / 2;
        return leftMargin + 10 + plotWidth * ((static_cast<double>(point.epochSeconds) - first) / span);
    };

    // Dates under the time axis: the first, the last, and one between when
    // there is room, so labels never overlap.
    const double labelY = chartHeight - bottomMargin + 18;
    std::vector<std::size_t> labelled{0};
    if (points.size() > 2) labelled.push_back(points.size() / 2);
    if (points.size() > 1) labelled.push_back(points.size() - 1);
    double lastLabelEnd = -1e9;
    for (std::size_t index : labelled) {
        const double x = xOf(points[index]);
        // The outer dates lean inwards so that they stay inside the chart.
        const char* anchor = labelled.size() == 1         ? "middle"
                             : index == 0                 ? "start"
                             : index + 1 == points.size() ? "end"
                                                          : "middle";
        if (x - 45 < lastLabelEnd) continue;
        lastLabelEnd = x + 45;
        svg += "<line x1=\"" + coordinate(x) + "\" y1=\"" + coordinate(chartHeight - bottomMargin) + "\" x2=\"" +
               coordinate(x) + "\" y2=\"" + coordinate(chartHeight - bottomMargin + 5) + "\" stroke=\"#333\"/>";
        svg += "<text x=\"" + coordinate(x) + "\" y=\"" + coordinate(labelY) + "\" text-anchor=\"" + anchor +
               "\" font-size=\"11\" fill=\"#555\">" + escapedHTML(points[index].dateText) + "</text>";
    }

    std::string line;
    for (const auto& point : points) {
        if (!line.empty()) line += ' ';
        line += coordinate(xOf(point)) + "," + coordinate(yOf(axis, point.value));
    }
    if (points.size() > 1)
        svg += "<polyline points=\"" + line + "\" fill=\"none\" stroke=\"#2b6cb0\" stroke-width=\"2\"/>";
    for (const auto& point : points) {
        svg += "<circle class=\"point\" cx=\"" + coordinate(xOf(point)) + "\" cy=\"" +
               coordinate(yOf(axis, point.value)) + "\" r=\"3.5\" fill=\"#2b6cb0\"><title>" +
               escapedHTML(point.dateText + ": " + readableNumber(point.value) + " " + std::string(unit)) +
               "</title></circle>";
    }
    return svg + "</svg>";
}

std::string distributionSVG(const std::vector<double>& values, double marked, std::string_view unit,
                            std::string_view caption) {
    constexpr double width = 320;
    constexpr double base = 80;
    constexpr double side = 10;
    constexpr int barCount = 10;
    double low = marked, high = marked;
    for (double value : values) {
        low = std::min(low, value);
        high = std::max(high, value);
    }
    const double range = high > low ? high - low : 1;
    auto barOf = [&](double value) {
        return std::clamp(static_cast<int>((value - low) / range * barCount), 0, barCount - 1);
    };
    std::vector<int> counts(barCount, 0);
    for (double value : values) ++counts[barOf(value)];
    const int tallest = std::max(1, *std::max_element(counts.begin(), counts.end()));
    const double barWidth = (width - 2 * side) / barCount;

    std::string svg =
        "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 320 110\" width=\"320\" height=\"110\""
        " role=\"img\" class=\"distribution\" aria-label=\"" +
        escapedHTML(caption) + "\"><title>" + escapedHTML(caption) + "</title>";
    for (int bar = 0; bar < barCount; ++bar) {
        const double barHeight = (base - 10) * counts[bar] / tallest;
        svg += "<rect class=\"bar\" x=\"" + coordinate(side + bar * barWidth + 1) + "\" y=\"" +
               coordinate(base - barHeight) + "\" width=\"" + coordinate(barWidth - 2) + "\" height=\"" +
               coordinate(barHeight) + "\" fill=\"#a0aec0\"><title>" + std::to_string(counts[bar]) + "</title></rect>";
    }
    const double markX = side + (marked - low) / range * (width - 2 * side);
    svg += "<line class=\"mark\" x1=\"" + coordinate(markX) + "\" y1=\"4\" x2=\"" + coordinate(markX) + "\" y2=\"" +
           coordinate(base) + "\" stroke=\"#c53030\" stroke-width=\"2\"/>";
    svg += "<line x1=\"" + coordinate(side) + "\" y1=\"" + coordinate(base) + "\" x2=\"" + coordinate(width - side) +
           "\" y2=\"" + coordinate(base) + "\" stroke=\"#333\"/>";
    const std::string labelY = coordinate(base + 16);
    svg += "<text x=\"" + coordinate(side) + "\" y=\"" + labelY + "\" font-size=\"11\" fill=\"#555\">" +
           escapedHTML(readableNumber(low) + " " + std::string(unit)) + "</text>";
    svg += "<text x=\"" + coordinate(width - side) + "\" y=\"" + labelY +
           "\" text-anchor=\"end\" font-size=\"11\" fill=\"#555\">" +
           escapedHTML(readableNumber(high) + " " + std::string(unit)) + "</text>";
    return svg + "</svg>";
}

}  // namespace nvx::depot
