#include "depot/fleet_query.h"

#include <chrono>
#include <cstdio>

#include "depot/html_pages.h"

namespace nvx::depot {
namespace {

// Anything longer is not something a person typed into the form.
constexpr std::size_t maximumFieldBytes = 256;

std::string trimmed(std::string text) {
    if (text.size() > maximumFieldBytes) text.resize(maximumFieldBytes);
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

std::optional<std::chrono::year_month_day> parsedDate(const std::string& text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (i != 4 && i != 7 && (text[i] < '0' || text[i] > '9')) return std::nullopt;
    const std::chrono::year_month_day date{std::chrono::year(std::stoi(text.substr(0, 4))),
                                           std::chrono::month(static_cast<unsigned>(std::stoi(text.substr(5, 2)))),
                                           std::chrono::day(static_cast<unsigned>(std::stoi(text.substr(8, 2))))};
    if (!date.ok()) return std::nullopt;
    return date;
}

std::string dateText(const std::chrono::year_month_day& date) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02u", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
    return buffer;
}

}  // namespace

std::optional<std::string> dayAfter(const std::string& date) {
    const auto parsed = parsedDate(date);
    if (!parsed) return std::nullopt;
    return dateText(std::chrono::year_month_day(std::chrono::sys_days(*parsed) + std::chrono::days(1)));
}

ListRequest parseListRequest(const std::function<std::string(const char* name)>& parameter) {
    ListRequest request;
    request.model = trimmed(parameter("model"));
    request.text = trimmed(parameter("q"));
    request.deviceId = trimmed(parameter("device"));
    request.fromDate = trimmed(parameter("from"));
    request.toDate = trimmed(parameter("to"));
    request.filter.model = request.model;
    request.filter.text = request.text;
    request.filter.deviceId = request.deviceId;
    if (!request.fromDate.empty()) {
        // Times are ISO texts: a day's first moment sorts after the bare day.
        if (parsedDate(request.fromDate))
            request.filter.receivedFrom = request.fromDate;
        else
            request.problems.push_back("Дата «с» не распознана (нужно ГГГГ-ММ-ДД); она не учтена.");
    }
    if (!request.toDate.empty()) {
        if (const auto next = dayAfter(request.toDate))
            request.filter.receivedBefore = *next;
        else
            request.problems.push_back("Дата «по» не распознана (нужно ГГГГ-ММ-ДД); она не учтена.");
    }
    const std::string at = parameter("at");
    const std::string id = parameter("id");
    if (!at.empty() && !id.empty()) request.cursor = RunCursor{at, id};
    request.direction = parameter("dir") == "newer" ? PageDirection::newer : PageDirection::older;
    return request;
}

std::string listLink(const ListRequest& request, const std::optional<RunCursor>& cursor, PageDirection direction) {
    std::string query;
    auto add = [&query](const char* name, const std::string& value) {
        if (value.empty()) return;
        query += query.empty() ? "?" : "&";
        query += std::string(name) + "=" + queryEncoded(value);
    };
    add("model", request.model);
    add("q", request.text);
    add("device", request.deviceId);
    add("from", request.fromDate);
    add("to", request.toDate);
    if (cursor) {
        add("at", cursor->receivedAt);
        add("id", cursor->id);
        add("dir", direction == PageDirection::newer ? "newer" : "older");
    }
    return "/" + query;
}

}  // namespace nvx::depot
