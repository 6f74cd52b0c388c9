#include "depot/html_pages.h"

#include <cmath>
#include <cstdio>

#include "core/json_text.h"
#include "depot/metric_standing.h"

namespace nvx::depot {
namespace {

constexpr const char* noData = "Нет данных";

}  // namespace

std::string pageStart(std::string_view title, bool wide) {
    return "<!DOCTYPE html>\n<html lang=\"ru\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>" +
           escapedHTML(title) +
           "</title>\n<style>\n"
           "body{font-family:-apple-system,system-ui,sans-serif;margin:2em auto;max-width:60em;padding:0 1em;"
           "color:#222;background:#fdfbf4}\n"
           "h1{font-size:1.6em}h2{font-size:1.2em;margin-top:1.6em}\n"
           "table{border-collapse:collapse;width:100%}th,td{text-align:left;vertical-align:top;"
           "padding:.3em .6em;border-bottom:1px solid #ddd}\n"
           "th{font-weight:600;color:#555}td.n{text-align:right;white-space:nowrap}\n"
           "pre{white-space:pre-wrap;word-break:break-all;font-size:.85em;background:#f3f0e6;padding:1em}\n"
           ".warn{color:#8a4b00}.muted{color:#777}\n"
           "nav a{margin-right:1.2em}nav{margin:.5em 0 1em}\n"
           "form.filters{display:flex;flex-wrap:wrap;gap:.6em 1em;align-items:end;margin:1em 0}\n"
           "form.filters label{display:flex;flex-direction:column;font-size:.85em;color:#555}\n"
           "form.filters input,form.filters select{font:inherit;padding:.2em .3em}\n"
           ".wide{overflow-x:auto}table.fleet{font-size:.85em}table.fleet td,table.fleet th{padding:.3em .4em}\n"
           "svg.chart{max-width:100%;height:auto;display:block;margin:.3em 0 1.2em}\n"
           ".pager{display:flex;justify-content:space-between;margin:1em 0}\n"
           "ul.changes{margin:.2em 0;padding-left:1.2em}\n"
           "@media print{nav,form.filters,.pager{display:none}body{max-width:none;margin:0;background:#fff}"
           "a{color:inherit;text-decoration:none}}\n"
           "body.wide{max-width:98em}td.t{white-space:nowrap}\n"
           "</style>\n</head>\n" +
           (wide ? "<body class=\"wide\">\n" : "<body>\n");
}

const char* const pageEnd = "</body>\n</html>\n";

namespace {

std::string orNoData(const std::string& text) {
    return escapedHTML(text.empty() ? noData : text);
}

// A number with a decimal comma, as Russian readers expect.
std::string decimal(double value, int digits) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", digits, value);
    std::string text = buffer;
    for (char& c : text) {
        if (c == '.') c = ',';
    }
    return text;
}

std::string significant(double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.6g", value);
    std::string text = buffer;
    for (char& c : text) {
        if (c == '.') c = ',';
    }
    return text;
}

}  // namespace

std::string memorySize(std::uint64_t bytes) {
    if (bytes == 0) return noData;
    return decimal(static_cast<double>(bytes) / (1024.0 * 1024.0 * 1024.0), 1) + " ГБ";
}

// Disk capacities in decimal units, as disk makers and the system label them.
std::string diskSize(std::uint64_t bytes) {
    const double value = static_cast<double>(bytes);
    if (value >= 1e12) return decimal(value / 1e12, 2) + " ТБ";
    if (value >= 1e9) return decimal(value / 1e9, 1) + " ГБ";
    return decimal(value / 1e6, 1) + " МБ";
}

std::string yesNo(const std::optional<bool>& flag) {
    if (!flag) return noData;
    return *flag ? "да" : "нет";
}

std::string row(std::string_view label, const std::string& escapedValue) {
    return "<tr><th>" + escapedHTML(label) + "</th><td>" + escapedValue + "</td></tr>\n";
}

std::string joined(const std::vector<std::string>& texts) {
    std::string result;
    for (const auto& text : texts) {
        if (!result.empty()) result += ", ";
        result += text;
    }
    return result;
}

std::string queryEncoded(std::string_view text) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string query;
    for (unsigned char c : text) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
            c == '_' || c == '~') {
            query.push_back(static_cast<char>(c));
        } else {
            query += {'%', digits[c >> 4], digits[c & 0x0F]};
        }
    }
    return query;
}

std::string recordLink(const std::string& id) {
    return "/?run=" + queryEncoded(id);
}

std::string deviceLink(const std::string& deviceId) {
    return "/devices/" + queryEncoded(deviceId);
}

namespace {

std::string labelsSection(const RunReport& report, const std::string& receivedAt) {
    std::string html = "<table>\n";
    html += row("Имя устройства", orNoData(report.name));
    html += row("Владелец", orNoData(report.owner));
    html += row("Место", orNoData(report.location));
    if (report.description) html += row("Описание", escapedHTML(*report.description));
    html += row("Создана", escapedHTML(report.created_at));
    html += row("Принята складом", escapedHTML(receivedAt));
    html += row("Опись завершена", report.completed ? "да" : "нет");
    html += row("Идентификатор", "<code>" + escapedHTML(report.id) + "</code>");
    html += row("Устройство", "<code>" + escapedHTML(report.device_id) + "</code>");
    html += row("Версия тестов", escapedHTML(report.benchmark_version));
    return html + "</table>\n";
}

std::string systemSection(const SystemSummary& system) {
    std::string html = "<h2>Система</h2>\n<table>\n";
    html += row("Модель", orNoData(system.model));
    if (system.model_matches && !system.model_matches->empty()) {
        std::string names;
        for (const auto& match : *system.model_matches) {
            if (!names.empty()) names += "<br>";
            names += escapedHTML(match.name) + " <span class=\"muted\">(" + escapedHTML(match.year) + ")</span>";
        }
        html += row("Модель по каталогу", names);
    }
    html += row("Чип", orNoData(system.chip));
    html += row("Память", escapedHTML(memorySize(system.memory_bytes)));
    html += row("Ядра", std::to_string(system.physical_cores) + " физических, " +
                            std::to_string(system.logical_cores) + " логических");
    html += row("Система", orNoData(system.os));
    html += row("Архитектура", orNoData(system.architecture));
    html += row("Графика", orNoData(joined(system.gpu)));
    return html + "</table>\n";
}

std::string disksSection(const std::optional<std::vector<DiskSummary>>& disks) {
    std::string html = "<h2>Диски</h2>\n";
    if (!disks) return html + "<p class=\"muted\">Список дисков не получен.</p>\n";
    if (disks->empty()) return html + "<p class=\"muted\">Физических дисков не найдено.</p>\n";
    html +=
        "<table>\n<tr><th>Диск</th><th>Объём</th><th>Подключение</th><th>Встроенный</th><th>SSD</th>"
        "<th>Тома</th></tr>\n";
    for (const auto& disk : *disks) {
        html += "<tr><td>" + orNoData(disk.name) + " <span class=\"muted\">" + escapedHTML(disk.id) +
                "</span></td><td class=\"n\">" + escapedHTML(diskSize(disk.bytes)) + "</td><td>" +
                orNoData(disk.connection) + "</td><td>" + escapedHTML(yesNo(disk.internal)) + "</td><td>" +
                escapedHTML(yesNo(disk.solid_state)) + "</td><td>" + escapedHTML(joined(disk.volumes)) +
                "</td></tr>\n";
    }
    return html + "</table>\n";
}

std::string metricsSection(const std::vector<Metric>& metrics) {
    std::string html = "<h2>Измерения</h2>\n";
    if (metrics.empty()) return html + "<p class=\"muted\">Измерений нет.</p>\n";
    html += "<table>\n<tr><th>Тест</th><th>Результат</th><th>Пояснение</th></tr>\n";
    for (const auto& metric : metrics) {
        std::string result = metric.value && std::isfinite(*metric.value)
                                 ? escapedHTML(significant(*metric.value) + " " + metric.unit)
                                 : "<span class=\"muted\">пропущено</span>";
        html += "<tr><td>" + escapedHTML(metric.title) + "</td><td class=\"n\">" + result + "</td><td>" +
                escapedHTML(metric.note) + "</td></tr>\n";
    }
    return html + "</table>\n";
}

std::string warningsSection(const std::vector<std::string>& warnings) {
    std::string html = "<h2>Предупреждения</h2>\n";
    if (warnings.empty()) return html + "<p class=\"muted\">Предупреждений нет.</p>\n";
    html += "<ul>\n";
    for (const auto& warning : warnings) html += "<li class=\"warn\">" + escapedHTML(warning) + "</li>\n";
    return html + "</ul>\n";
}

std::string inventorySection(const JSONValue& inventory) {
    std::string text;
    try {
        text = encodeJSONText(inventory.toJSON());
    } catch (const std::exception&) {
        text = "Опись оборудования не удалось показать.";
    }
    return "<h2>Опись оборудования</h2>\n<details><summary>Показать полностью</summary>\n<pre>" + escapedHTML(text) +
           "</pre>\n</details>\n";
}

}  // namespace

std::string escapedHTML(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': result += "&amp;"; break;
        case '<': result += "&lt;"; break;
        case '>': result += "&gt;"; break;
        case '"': result += "&quot;"; break;
        case '\'': result += "&#39;"; break;
        default: result.push_back(c);
        }
    }
    return result;
}

std::string recordPage(const RunReport& report, const std::string& receivedAt,
                       const std::vector<MetricStanding>& standings) {
    const std::string title = "Опись: " + (report.name.empty() ? report.id : report.name);
    std::string html = pageStart(title);
    html += "<nav><a href=\"/\">← Все записи склада</a>";
    if (!report.device_id.empty())
        html += "<a href=\"" + escapedHTML(deviceLink(report.device_id)) + "\">Все описи этого компьютера</a>";
    html += "</nav>\n<h1>" + escapedHTML(title) + "</h1>\n";
    html += labelsSection(report, receivedAt);
    html += systemSection(report.system);
    html += disksSection(report.system.disks);
    html += metricsSection(report.metrics);
    html += standingsSection(report.system.model, standings);
    html += warningsSection(report.warnings);
    html += inventorySection(report.inventory);
    return html + pageEnd;
}

std::string missingRecordPage(std::string_view id) {
    std::string html = pageStart("Запись не найдена");
    html += "<p><a href=\"/\">← Все записи склада</a></p>\n<h1>Запись не найдена</h1>\n<p>На складе нет описи <code>" +
            escapedHTML(id) + "</code>.</p>\n";
    return html + pageEnd;
}

std::string fleetClosedPage(bool credentialsNeeded) {
    std::string html = pageStart("Список описей закрыт");
    html += "<h1>Список описей закрыт</h1>\n";
    html += credentialsNeeded
                ? "<p>Список описей и сводные страницы склада видят только зрители: войдите под именем и паролем "
                  "зрителя.</p>\n"
                : "<p>Список описей и сводные страницы этого склада открыты только на компьютере, где он работает. "
                  "Чтобы смотреть их по сети, администратор склада задаёт зрителей (параметр --viewers).</p>\n";
    html += "<p class=\"muted\">Страница отдельной описи открывается по её ссылке.</p>\n";
    return html + pageEnd;
}

}  // namespace nvx::depot
