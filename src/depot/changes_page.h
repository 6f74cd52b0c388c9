#pragma once

#include <optional>
#include <string>
#include <vector>

#include "depot/depot_store.h"
#include "depot/hardware_changes.h"

namespace nvx::depot {

// Entries on one page of the fleet's hardware changes.
inline constexpr std::size_t changesPageSize = 50;

// A record and what changed in its computer's hardware since the record before.
struct ChangeEntry {
    RunSummary run;
    std::vector<HardwareChange> changes;
};

// The fleet's hardware changes, newest first, with a choice of kind (a GET
// form) and a link on to older ones when `next` is set.
std::string changesPage(const std::optional<HardwareChangeKind>& kind, const std::vector<ChangeEntry>& entries,
                        const std::optional<RunCursor>& next, bool firstPage);

// The address of the changes page of `kind` from `cursor` on. Not escaped.
std::string changesLink(const std::optional<HardwareChangeKind>& kind, const std::optional<RunCursor>& cursor);

}  // namespace nvx::depot
