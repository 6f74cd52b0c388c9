#include <sys/statvfs.h>

#include <set>

#include "inventory/linux_source/disk_description.h"
#include "inventory/linux_source/linux_probe.h"
#include "inventory/linux_source/sysfs.h"

namespace nvx::linux_source {

// Mounted volumes on block devices, one item per device, with the physical
// disk beneath each. Free space is asked of the live file system only when the
// probe looks at this machine itself.
nlohmann::json storageSection(LinuxProbe& probe) {
    nlohmann::json items = nlohmann::json::array();
    std::set<std::string> seen;
    const bool liveSystem = probe.root == fs::path("/");
    for (const MountEntry& mount : probe.blocks.mounts()) {
        const auto name = probe.blocks.nodeOfMount(mount);
        if (!name || !seen.insert(*name).second) continue;
        const BlockNode* node = probe.blocks.node(*name);
        if (!node) continue;
        nlohmann::json item = {{"_name", node->label.value_or(mount.mountPoint)},
                               {"bsd_name", *name},
                               {"mount_point", mount.mountPoint},
                               {"file_system", mount.fileSystem},
                               {"writable", !mount.readOnly},
                               {"size_in_bytes", node->bytes}};
        if (node->mountPoints.size() > 1) item["mount_points"] = node->mountPoints;
        if (liveSystem) {
            struct statvfs figures {};
            if (::statvfs(mount.mountPoint.c_str(), &figures) == 0) {
                item["free_space_in_bytes"] = static_cast<std::uint64_t>(figures.f_bavail) * figures.f_frsize;
                if (node->bytes == 0) item["size_in_bytes"] = static_cast<std::uint64_t>(figures.f_blocks) * figures.f_frsize;
            }
        }
        if (const BlockDevice* disk = probe.blocks.physicalDiskBeneath(*name)) item["physical_drive"] = diskDescription(*disk);
        items.push_back(std::move(item));
    }
    return items;
}

}  // namespace nvx::linux_source
