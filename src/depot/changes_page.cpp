#include "depot/changes_page.h"

#include "depot/fleet_text.h"
#include "depot/html_pages.h"

namespace nvx::depot {
namespace {

std::string kindForm(const std::optional<HardwareChangeKind>& kind) {
    std::string html =
        "<form class=\"filters\" method=\"get\" action=\"/changes\">\n<label>Что менялось"
        "<select name=\"kind\">\n<option value=\"\">всё</option>\n";
    for (HardwareChangeKind each : allHardwareChangeKinds) {
        html += "<option value=\"" + std::string(changeKindName(each)) + "\"" + (kind == each ? " selected" : "") +
                ">" + escapedHTML(changeKindTitle(each)) + "</option>\n";
    }
    return html + "</select></label>\n<button type=\"submit\">Показать</button>\n</form>\n";
}

std::string orDash(const std::string& text) {
    return text.empty() ? "—" : escapedHTML(text);
}

}  // namespace

std::string changesLink(const std::optional<HardwareChangeKind>& kind, const std::optional<RunCursor>& cursor) {
    std::string query;
    if (kind) query += "kind=" + std::string(changeKindName(*kind));
    if (cursor) {
        if (!query.empty()) query += "&";
        query += "at=" + queryEncoded(cursor->receivedAt) + "&id=" + queryEncoded(cursor->id);
    }
    return "/changes" + (query.empty() ? "" : "?" + query);
}

std::string changesPage(const std::optional<HardwareChangeKind>& kind, const std::vector<ChangeEntry>& entries,
                        const std::optional<RunCursor>& next, bool firstPage) {
    std::string html = pageStart("Смены оборудования");
    html += "<nav><a href=\"/\">← Все записи склада</a></nav>\n<h1>Смены оборудования</h1>\n";
    html +=
        "<p class=\"muted\">Что изменилось в компьютерах между двумя их описями подряд, новые сверху. "
        "Другой порядок, перемонтированные тома, свободное место и новые измерения сменой не считаются.</p>\n";
    html += kindForm(kind);
    if (entries.empty()) {
        html += "<p class=\"muted\">Смен оборудования" + std::string(kind ? " этого вида" : "") +
                (firstPage ? " пока не было." : " дальше нет.") + "</p>\n";
    } else {
        html +=
            "<div class=\"wide\"><table>\n<tr><th>Принята</th><th>Компьютер</th><th>Модель</th><th>Что изменилось"
            "</th></tr>\n";
        for (const ChangeEntry& entry : entries) {
            const RunSummary& run = entry.run;
            html += "<tr class=\"change\"><td><a href=\"" + escapedHTML(recordLink(run.id)) + "\">" +
                    escapedHTML(momentText(run.receivedAt)) + "</a></td><td><a href=\"" +
                    escapedHTML(deviceLink(run.deviceId)) + "\">" +
                    escapedHTML(run.name.empty() ? run.deviceId : run.name) + "</a></td><td>" + orDash(run.model) +
                    "</td><td><ul class=\"changes\">\n";
            for (const auto& change : entry.changes)
                html += "<li data-kind=\"" + std::string(changeKindName(change.kind)) + "\">" +
                        escapedHTML(change.text) + "</li>\n";
            html += "</ul></td></tr>\n";
        }
        html += "</table></div>\n";
    }
    html += "<div class=\"pager\"><span>";
    if (!firstPage) html += "<a href=\"" + escapedHTML(changesLink(kind, std::nullopt)) + "\">← К новейшим</a>";
    html += "</span><span>";
    if (next) html += "<a rel=\"next\" href=\"" + escapedHTML(changesLink(kind, next)) + "\">Старее →</a>";
    html += "</span></div>\n";
    return html + pageEnd;
}

}  // namespace nvx::depot
