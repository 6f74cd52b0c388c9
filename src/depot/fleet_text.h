#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace nvx::depot {

// Texts the fleet pages share.

// "2026-03-01T09:15:00Z" → "01.03.2026"; the text itself when it is no such time.
std::string dayText(const std::string& receivedAt);
// "2026-03-01T09:15:00Z" → "01.03.2026 09:15"; the text itself when it is no such time.
std::string momentText(const std::string& receivedAt);
// Seconds since 1970 of an ISO 8601 UTC time; nullopt when it is no such time.
std::optional<std::int64_t> epochSecondsOf(const std::string& receivedAt);
// A metric's value for a table cell ("412,73"), or "—" when skipped.
std::string metricCellText(const std::optional<double>& value);
// The header cells of the fleet metrics' columns: title, then unit.
std::string metricHeaderCells();

}  // namespace nvx::depot
