#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/report.h"
#include "depot/depot_store.h"

namespace nvx::depot {

// Text made safe to stand between HTML tags or inside a quoted attribute.
std::string escapedHTML(std::string_view text);

// The readable page of one record: labels, hardware summary, disks,
// metrics, warnings and the raw inventory. Everything from the report is
// escaped.
std::string recordPage(const RunReport& report, const std::string& receivedAt);

// The page of a record that does not exist (or cannot be read).
std::string missingRecordPage(std::string_view id);

// What a visitor who may not see the fleet-wide pages gets instead: a
// request for viewer credentials, or a page saying they are local only.
std::string fleetClosedPage(bool credentialsNeeded);

// The list of the latest records, newest first, each linked to its page.
std::string listPage(const std::vector<RunListing>& runs);

}  // namespace nvx::depot
