#pragma once

#include <nlohmann/json.hpp>

#include "inventory/linux_source/block_devices.h"

namespace nvx::linux_source {

// The keys every section uses for a physical disk.
nlohmann::json diskDescription(const BlockDevice& disk);

}  // namespace nvx::linux_source
