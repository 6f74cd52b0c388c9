#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/report.h"
#include "depot/depot_store.h"

namespace nvx::depot {

// Text made safe to stand between HTML tags or inside a quoted attribute.
std::string escapedHTML(std::string_view text);

// The start of every page up to and including <body> (title, styles that
// the pages read fine without), and its end. A wide page (the fleet's long
// tables) may use more of a large screen.
std::string pageStart(std::string_view title, bool wide = false);
extern const char* const pageEnd;

// Text as one value of a URL query: unreserved characters stay, every other
// byte is percent-encoded.
std::string queryEncoded(std::string_view text);
// Links (not yet HTML-escaped) to a record's and a device's page.
std::string recordLink(const std::string& id);
std::string deviceLink(const std::string& deviceId);

// "16,0 ГБ", or "Нет данных" for 0.
std::string memorySize(std::uint64_t bytes);

// Where one of the record's metrics stands among the newest records of the
// other computers of its model.
struct MetricStanding {
    std::size_t metricIndex = 0;  // into fleetMetrics
    double value = 0;
    std::vector<double> modelValues;  // one per computer of the model
};

// The readable page of one record: labels, hardware summary, disks,
// metrics, warnings and the raw inventory. Everything from the report is
// escaped.
// With standings, a section shows each metric's percentile among the
// computers of the model (see metric_standing.h).
std::string recordPage(const RunReport& report, const std::string& receivedAt,
                       const std::vector<MetricStanding>& standings = {});

// The page of a record that does not exist (or cannot be read).
std::string missingRecordPage(std::string_view id);

// What a visitor who may not see the fleet-wide pages gets instead: a
// request for viewer credentials, or a page saying they are local only.
std::string fleetClosedPage(bool credentialsNeeded);

}  // namespace nvx::depot
