#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/report.h"
#include "core/stop_token.h"
#include "inventory/platform_sources.h"

namespace nvx::Collector {

// The system profiler's data types in request and warning order, with their
// Russian titles.
extern const std::vector<std::pair<std::string, std::string>> sections;

using Progress = std::function<void(const std::string&)>;

struct DiskInventory {
    std::vector<DiskSummary> disks;
    nlohmann::json raw;  // disk identifier -> the JSON object of its DiskSummary
    std::vector<std::string> warnings;
};

// The inventory of this computer: a report without metrics, not completed.
RunReport collect(const StopToken& token, const Progress& progress);
RunReport collect(const InventorySources& sources, const StopToken& token, const Progress& progress);

// The physical disks, one detail call per whole disk.
DiskInventory disks(const StopToken& token);
DiskInventory disks(DiskUtility& utility, const StopToken& token);

}  // namespace nvx::Collector
