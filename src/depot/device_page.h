#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "depot/depot_store.h"

namespace nvx::depot {

// The page of one computer: what it is now, each fleet metric over all its
// records as a chart (one dot per record that measured it), the records
// newest first, and what changed in its hardware from one record to the
// next. `runs` are oldest first, as the store gives them, and not empty.
std::string devicePage(std::string_view deviceId, const std::vector<DeviceRun>& runs);

// The page for a device the depot has no record of.
std::string missingDevicePage(std::string_view deviceId);

}  // namespace nvx::depot
