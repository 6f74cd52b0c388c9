#include "depot/metric_standing.h"

#include <cmath>

#include "depot/fleet_metrics.h"
#include "depot/svg_chart.h"

namespace nvx::depot {

Percentile percentileOf(double value, const std::vector<double>& values) {
    Percentile result;
    for (double other : values) {
        if (other < value)
            ++result.below;
        else if (other > value)
            ++result.above;
        else
            ++result.equal;
    }
    if (!values.empty()) {
        const double share = (static_cast<double>(result.below) + 0.5 * static_cast<double>(result.equal)) /
                             static_cast<double>(values.size());
        result.percentile = static_cast<int>(std::lround(100 * share));
    }
    return result;
}

std::string standingsSection(std::string_view model, const std::vector<MetricStanding>& standings) {
    if (standings.empty()) return {};
    std::string html = "<h2>Среди компьютеров модели " + escapedHTML(model.empty() ? "без названия" : model) +
                       "</h2>\n<p class=\"muted\">По последней описи каждого компьютера этой модели на складе. "
                       "Больше — лучше.</p>\n";
    for (const MetricStanding& standing : standings) {
        const FleetMetric& metric = fleetMetrics.at(standing.metricIndex);
        html += "<h3>" + escapedHTML(metric.title) + "</h3>\n";
        const std::size_t computers = standing.modelValues.size();
        if (computers < minimumComputersForStanding) {
            html += "<p class=\"muted standing\">Для сравнения нужно не меньше " +
                    std::to_string(minimumComputersForStanding) + " компьютеров модели с этим измерением; сейчас их " +
                    std::to_string(computers) + ".</p>\n";
            continue;
        }
        const Percentile place = percentileOf(standing.value, standing.modelValues);
        html += "<p class=\"standing\" data-metric=\"" + escapedHTML(metric.id) + "\">" +
                escapedHTML(readableNumber(standing.value) + " " + std::string(metric.unit)) + ": " +
                std::to_string(place.percentile) + "-й процентиль среди " + std::to_string(computers) +
                " компьютеров (ниже — " + std::to_string(place.below) + ", столько же — " +
                std::to_string(place.equal) + ", выше — " + std::to_string(place.above) + ").</p>\n";
        html += distributionSVG(standing.modelValues, standing.value, metric.unit,
                                "Распределение: " + std::string(metric.title) + ", отмечена эта опись") +
                "\n<p class=\"muted\">Столбцы — сколько компьютеров модели в каждом интервале, красная линия — эта "
                "опись.</p>\n";
    }
    return html;
}

}  // namespace nvx::depot
