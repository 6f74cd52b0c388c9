#include "inventory/linux_source/disk_description.h"
#include "inventory/linux_source/linux_probe.h"
#include "inventory/linux_source/sysfs.h"

namespace nvx::linux_source {

// Drives on SATA and parallel ATA ports, with the port's link speed and the
// host controller.
nlohmann::json sataSection(LinuxProbe& probe) {
    nlohmann::json items = nlohmann::json::array();
    for (const BlockDevice& disk : probe.blocks.all()) {
        if (!disk.physical || (disk.protocol != "SATA" && disk.protocol != "ATA")) continue;
        nlohmann::json item = diskDescription(disk);
        const std::string path = disk.path.string();
        if (const std::size_t at = path.find("/ata"); at != std::string::npos) {
            std::size_t end = at + 4;
            while (end < path.size() && path[end] >= '0' && path[end] <= '9') ++end;
            const std::string port = path.substr(at + 1, end - at - 1);
            item["port"] = port;
            const auto speed = readAttribute(probe.at("sys/class/ata_link") / ("link" + port.substr(3)) / "sata_spd");
            if (speed && *speed != "<unknown>") item["link_speed"] = *speed;
        }
        if (const PciDevice* controller = probe.pci.owning(disk.path)) {
            item["controller"] = controller->deviceName;
            putIfPresent(item, "controller_driver", controller->driver);
        }
        items.push_back(std::move(item));
    }
    return items;
}

}  // namespace nvx::linux_source
