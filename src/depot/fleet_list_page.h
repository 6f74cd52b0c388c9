#pragma once

#include <string>
#include <vector>

#include "depot/depot_store.h"
#include "depot/fleet_query.h"

namespace nvx::depot {

// Records on one page of the fleet list.
inline constexpr std::size_t fleetPageSize = 50;

// One page of the fleet list with its filter form, newest first: a line per
// record with labels, model, chip, memory and the six metrics, and links to
// the newer and older pages where there are any.
std::string fleetListPage(const ListRequest& request, const std::vector<RunSummary>& runs, bool hasNewer,
                          bool hasOlder);

}  // namespace nvx::depot
