#include "depot/fleet_text.h"

#include <chrono>
#include <cstdio>

#include "depot/fleet_metrics.h"
#include "depot/html_pages.h"
#include "depot/svg_chart.h"

namespace nvx::depot {
namespace {

struct Moment {
    int year, month, day, hour, minute, second;
};

std::optional<Moment> momentOf(const std::string& text) {
    Moment moment{};
    char zone = 0;
    int consumed = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c%n", &moment.year, &moment.month, &moment.day, &moment.hour,
                    &moment.minute, &moment.second, &zone, &consumed) != 7 ||
        zone != 'Z' || static_cast<std::size_t>(consumed) != text.size())
        return std::nullopt;
    const std::chrono::year_month_day date{std::chrono::year(moment.year),
                                           std::chrono::month(static_cast<unsigned>(moment.month)),
                                           std::chrono::day(static_cast<unsigned>(moment.day))};
    if (!date.ok() || moment.hour > 23 || moment.minute > 59 || moment.second > 60 || moment.hour < 0 ||
        moment.minute < 0 || moment.second < 0)
        return std::nullopt;
    return moment;
}

}  // namespace

std::string dayText(const std::string& receivedAt) {
    const auto moment = momentOf(receivedAt);
    if (!moment) return receivedAt;
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%02d.%02d.%04d", moment->day, moment->month, moment->year);
    return buffer;
}

std::string momentText(const std::string& receivedAt) {
    const auto moment = momentOf(receivedAt);
    if (!moment) return receivedAt;
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%02d.%02d.%04d %02d:%02d", moment->day, moment->month, moment->year,
                  moment->hour, moment->minute);
    return buffer;
}

std::optional<std::int64_t> epochSecondsOf(const std::string& receivedAt) {
    const auto moment = momentOf(receivedAt);
    if (!moment) return std::nullopt;
    const std::chrono::sys_days days{std::chrono::year_month_day{
        std::chrono::year(moment->year), std::chrono::month(static_cast<unsigned>(moment->month)),
        std::chrono::day(static_cast<unsigned>(moment->day))}};
    return days.time_since_epoch().count() * 86400LL + moment->hour * 3600LL + moment->minute * 60LL + moment->second;
}

std::string metricCellText(const std::optional<double>& value) {
    return value ? readableNumber(*value) : "—";
}

std::string metricHeaderCells() {
    std::string cells;
    for (const FleetMetric& metric : fleetMetrics)
        cells +=
            "<th>" + escapedHTML(metric.title) + ", <span class=\"muted\">" + escapedHTML(metric.unit) + "</span></th>";
    return cells;
}

}  // namespace nvx::depot
