#include "depot/device_page.h"

#include "depot/fleet_metrics.h"
#include "depot/fleet_text.h"
#include "depot/hardware_changes.h"
#include "depot/html_pages.h"
#include "depot/svg_chart.h"

namespace nvx::depot {
namespace {

constexpr const char* navigation =
    "<nav><a href=\"/\">← Все записи склада</a><a href=\"/changes\">Смены оборудования</a></nav>\n";

std::string orDash(const std::string& text) {
    return text.empty() ? "—" : escapedHTML(text);
}

std::string summarySection(std::string_view deviceId, const std::vector<DeviceRun>& runs) {
    const RunSummary& newest = runs.back().run;
    std::string html = "<table>\n";
    html += "<tr><th>Устройство</th><td><code>" + escapedHTML(deviceId) + "</code></td></tr>\n";
    html += "<tr><th>Модель</th><td>" + orDash(newest.model) + "</td></tr>\n";
    html += "<tr><th>Чип</th><td>" + orDash(newest.chip) + "</td></tr>\n";
    html += "<tr><th>Память</th><td>" + escapedHTML(memorySize(newest.memoryBytes)) + "</td></tr>\n";
    html += "<tr><th>Владелец</th><td>" + orDash(newest.owner) + "</td></tr>\n";
    html += "<tr><th>Место</th><td>" + orDash(newest.location) + "</td></tr>\n";
    html += "<tr><th>Описей</th><td>" + std::to_string(runs.size()) + ", с " +
            escapedHTML(momentText(runs.front().run.receivedAt)) + " по " + escapedHTML(momentText(newest.receivedAt)) +
            " (UTC)</td></tr>\n";
    return html + "</table>\n";
}

std::string chartsSection(const std::vector<DeviceRun>& runs) {
    std::string html = "<h2>Измерения по времени</h2>\n";
    bool any = false;
    for (std::size_t index = 0; index < fleetMetricCount; ++index) {
        std::vector<TimedValue> points;
        for (const DeviceRun& run : runs) {
            const auto& value = run.run.metrics[index];
            const auto seconds = epochSecondsOf(run.run.receivedAt);
            if (value && seconds) points.push_back({*seconds, *value, dayText(run.run.receivedAt)});
        }
        if (points.empty()) continue;
        any = true;
        const FleetMetric& metric = fleetMetrics[index];
        html +=
            "<h3>" + escapedHTML(metric.title) + "</h3>\n<div class=\"metric-chart\" data-metric=\"" +
            escapedHTML(metric.id) + "\">" +
            timeChartSVG(points, metric.unit, std::string(metric.title) + " по описям, " + std::string(metric.unit)) +
            "</div>\n";
    }
    if (!any) html += "<p class=\"muted\">Ни одна опись этого компьютера не содержит измерений.</p>\n";
    return html;
}

std::string changesSection(const std::vector<DeviceRun>& runs) {
    std::string html = "<h2>Смены оборудования</h2>\n";
    std::string entries;
    for (std::size_t index = 1; index < runs.size(); ++index) {
        const auto before = HardwareProfile::decoded(runs[index - 1].hardware);
        const auto after = HardwareProfile::decoded(runs[index].hardware);
        if (!before || !after) continue;
        const auto changes = hardwareChanges(*before, *after);
        if (changes.empty()) continue;
        const RunSummary& run = runs[index].run;
        entries += "<li class=\"change\"><a href=\"" + escapedHTML(recordLink(run.id)) + "\">" +
                   escapedHTML(momentText(run.receivedAt)) + "</a>\n<ul class=\"changes\">\n";
        for (const auto& change : changes) entries += "<li>" + escapedHTML(change.text) + "</li>\n";
        entries += "</ul></li>\n";
    }
    if (entries.empty())
        return html + "<p class=\"muted\">Между описями этого компьютера оборудование не менялось.</p>\n";
    return html + "<ul>\n" + entries + "</ul>\n";
}

std::string runsSection(const std::vector<DeviceRun>& runs) {
    std::string html =
        "<h2>Все описи</h2>\n<div class=\"wide\"><table class=\"fleet\">\n<tr><th>Принята</th>"
        "<th>Имя</th><th>Чип</th><th>Память</th>";
    html += metricHeaderCells() + "</tr>\n";
    for (auto run = runs.rbegin(); run != runs.rend(); ++run) {
        html += "<tr class=\"run\"><td class=\"t\"><a href=\"" + escapedHTML(recordLink(run->run.id)) + "\">" +
                escapedHTML(momentText(run->run.receivedAt)) + "</a></td><td>" + orDash(run->run.name) + "</td><td>" +
                orDash(run->run.chip) + "</td><td class=\"n\">" + escapedHTML(memorySize(run->run.memoryBytes)) +
                "</td>";
        for (const auto& value : run->run.metrics)
            html += "<td class=\"n\">" + escapedHTML(metricCellText(value)) + "</td>";
        html += "</tr>\n";
    }
    return html + "</table></div>\n";
}

}  // namespace

std::string devicePage(std::string_view deviceId, const std::vector<DeviceRun>& runs) {
    const RunSummary& newest = runs.back().run;
    const std::string title = "Компьютер: " + (newest.name.empty() ? std::string(deviceId) : newest.name);
    std::string html = pageStart(title, true);
    html += navigation;
    html += "<h1>" + escapedHTML(title) + "</h1>\n";
    html += summarySection(deviceId, runs);
    html += chartsSection(runs);
    html += changesSection(runs);
    html += runsSection(runs);
    return html + pageEnd;
}

std::string missingDevicePage(std::string_view deviceId) {
    std::string html = pageStart("Компьютер не найден");
    html += navigation;
    html += "<h1>Компьютер не найден</h1>\n<p>На складе нет описей устройства <code>" + escapedHTML(deviceId) +
            "</code>.</p>\n";
    return html + pageEnd;
}

}  // namespace nvx::depot
