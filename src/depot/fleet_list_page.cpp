#include "depot/fleet_list_page.h"

#include "depot/fleet_text.h"
#include "depot/html_pages.h"

namespace nvx::depot {
namespace {

std::string field(const char* label, const char* name, const std::string& value, const char* type = "text") {
    return std::string("<label>") + label + "<input type=\"" + type + "\" name=\"" + name + "\" value=\"" +
           escapedHTML(value) + "\"></label>\n";
}

std::string filterForm(const ListRequest& request) {
    std::string html = "<form class=\"filters\" method=\"get\" action=\"/\">\n";
    html += field("Модель", "model", request.model);
    html += field("Имя, владелец или место", "q", request.text);
    html += field("Устройство (идентификатор)", "device", request.deviceId);
    html += field("Принята с", "from", request.fromDate, "date");
    html += field("по", "to", request.toDate, "date");
    html += "<button type=\"submit\">Показать</button> <a href=\"/\">Сбросить</a>\n</form>\n";
    for (const auto& problem : request.problems) html += "<p class=\"warn\">" + escapedHTML(problem) + "</p>\n";
    return html;
}

std::string orDash(const std::string& text) {
    return text.empty() ? "—" : escapedHTML(text);
}

}  // namespace

std::string fleetListPage(const ListRequest& request, const std::vector<RunSummary>& runs, bool hasNewer,
                          bool hasOlder) {
    std::string html = pageStart("Склад NVX Depotrium", true);
    html +=
        "<h1>Склад NVX Depotrium</h1>\n<nav><a href=\"/\">Описи</a><a href=\"/changes\">Смены оборудования</a>"
        "<a href=\"/export.csv\">Выгрузка CSV</a><a href=\"/export.json\">Выгрузка JSON</a></nav>\n";
    html += filterForm(request);
    const bool filtered = !request.filter.model.empty() || !request.filter.text.empty() ||
                          !request.filter.deviceId.empty() || !request.filter.receivedFrom.empty() ||
                          !request.filter.receivedBefore.empty();
    if (runs.empty()) {
        html += filtered ? "<p class=\"muted\">Под эти условия не подходит ни одна опись.</p>\n"
                         : "<p class=\"muted\">На складе пока нет описей.</p>\n";
        if (request.cursor)
            html += "<p><a href=\"" + escapedHTML(listLink(request, {}, {})) + "\">К началу списка</a></p>\n";
        return html + pageEnd;
    }
    html += "<p class=\"muted\">Принятые описи, новые сверху.</p>\n";
    html +=
        "<div class=\"wide\"><table class=\"fleet\">\n<tr><th>Принята</th><th>Устройство</th><th>Владелец</th>"
        "<th>Место</th><th>Модель</th><th>Чип</th><th>Память</th>";
    html += metricHeaderCells() + "</tr>\n";
    for (const RunSummary& run : runs) {
        html += "<tr class=\"run\" data-id=\"" + escapedHTML(run.id) + "\"><td class=\"t\">" +
                escapedHTML(momentText(run.receivedAt)) + "</td><td><a href=\"" + escapedHTML(recordLink(run.id)) +
                "\">" + escapedHTML(run.name.empty() ? run.id : run.name) + "</a>";
        if (!run.deviceId.empty())
            html += " <a class=\"muted\" href=\"" + escapedHTML(deviceLink(run.deviceId)) + "\">история</a>";
        html += "</td><td>" + orDash(run.owner) + "</td><td>" + orDash(run.location) + "</td><td>" + orDash(run.model) +
                "</td><td>" + orDash(run.chip) + "</td><td class=\"n\">" + escapedHTML(memorySize(run.memoryBytes)) +
                "</td>";
        for (const auto& value : run.metrics) html += "<td class=\"n\">" + escapedHTML(metricCellText(value)) + "</td>";
        html += "</tr>\n";
    }
    html += "</table></div>\n<div class=\"pager\"><span>";
    if (hasNewer)
        html +=
            "<a rel=\"prev\" href=\"" +
            escapedHTML(listLink(request, RunCursor{runs.front().receivedAt, runs.front().id}, PageDirection::newer)) +
            "\">← Новее</a>";
    html += "</span><span>";
    if (hasOlder)
        html +=
            "<a rel=\"next\" href=\"" +
            escapedHTML(listLink(request, RunCursor{runs.back().receivedAt, runs.back().id}, PageDirection::older)) +
            "\">Старее →</a>";
    html += "</span></div>\n";
    return html + pageEnd;
}

}  // namespace nvx::depot
