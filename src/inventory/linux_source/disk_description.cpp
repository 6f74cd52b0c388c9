#include "inventory/linux_source/disk_description.h"

#include "inventory/linux_source/linux_probe.h"

namespace nvx::linux_source {

nlohmann::json diskDescription(const BlockDevice& disk) {
    nlohmann::json item = {{"_name", disk.model.value_or(disk.node.name)},
                           {"bsd_name", disk.node.name},
                           {"size_in_bytes", disk.node.bytes}};
    putIfPresent(item, "device_model", disk.model);
    putIfPresent(item, "firmware_version", disk.firmware);
    putIfPresent(item, "protocol", disk.protocol);
    putIfPresent(item, "is_internal_disk", disk.internal);
    if (disk.solidState) item["medium_type"] = *disk.solidState ? "SSD" : "HDD";
    return item;
}

}  // namespace nvx::linux_source
