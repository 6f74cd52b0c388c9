#pragma once

#include <string>
#include <string_view>

#include "core/report.h"
#include "depot/depot_store.h"

namespace nvx::depot {

// The columns a store keeps beside a report's bytes, taken from the report:
// labels, device, chip, memory, the fleet metrics and the hardware profile.
// Fills everything of a NewRun except the key, the body and receivedAt.
NewRun fleetColumns(const RunReport& report);

// Text folded for a search that ignores letter case: Latin and Cyrillic
// capitals become small letters, Ё becomes ё, control characters (line
// breaks, tabs) become spaces, everything else stays. Stores
// keep the folded name, owner and location and fold the text searched for.
std::string foldedForSearch(std::string_view text);

}  // namespace nvx::depot
