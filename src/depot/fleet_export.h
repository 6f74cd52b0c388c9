#pragma once

#include <string>

#include "depot/depot_store.h"

namespace nvx::depot {

// The newest record of every device as a table: the inventory summary
// columns and the six metrics. Rows are written one at a time, so an export
// of any size streams without being held in memory.

// CSV by RFC 4180: fields separated by commas, lines ended by CR LF, a field
// holding a comma, quote or line break quoted with its quotes doubled; UTF-8.
// Numbers use a decimal point, memory is in bytes, a skipped metric is an
// empty field. A label that starts like a formula (= + - @) gets a leading
// apostrophe, so a spreadsheet shows it instead of running it.
std::string csvHeader();
std::string csvRow(const RunSummary& run);

// JSON: one array of objects; jsonExportStart(), then each row after a
// separator (jsonExportSeparator() before every row but the first), then
// jsonExportEnd(). Skipped metrics are null.
std::string jsonExportStart();
std::string jsonExportRow(const RunSummary& run);
std::string jsonExportSeparator();
std::string jsonExportEnd();

}  // namespace nvx::depot
