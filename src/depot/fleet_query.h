#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "depot/depot_store.h"

namespace nvx::depot {

// What a visitor asked of the fleet list through its GET form and its page
// links: the filter, where the page starts, and which way it goes.
struct ListRequest {
    // As typed, to be shown back in the form.
    std::string model;
    std::string text;
    std::string deviceId;
    std::string fromDate;  // YYYY-MM-DD, the first day shown
    std::string toDate;    // YYYY-MM-DD, the last day shown
    RunFilter filter;
    std::optional<RunCursor> cursor;
    PageDirection direction = PageDirection::older;
    // Russian notes on fields that were ignored (a date that is no date).
    std::vector<std::string> problems;
};

// `parameter` gives a query parameter's value, empty when absent:
//   model, q (text), device, from, to (dates), at + id (cursor), dir (older | newer)
ListRequest parseListRequest(const std::function<std::string(const char* name)>& parameter);

// The address of the list with the same filter, starting at `cursor` going
// `direction`; without a cursor, its first page. Not HTML-escaped.
std::string listLink(const ListRequest& request, const std::optional<RunCursor>& cursor, PageDirection direction);

// "2026-03-01" → "2026-03-02"; nullopt for a text that is not a valid date.
std::optional<std::string> dayAfter(const std::string& date);

}  // namespace nvx::depot
