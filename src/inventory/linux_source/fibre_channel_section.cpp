#include "inventory/linux_source/linux_probe.h"
#include "inventory/linux_source/sysfs.h"

namespace nvx::linux_source {

// Fibre Channel host adapters. Port and node names are world-wide names and
// are not read.
nlohmann::json fibreChannelSection(LinuxProbe& probe) {
    nlohmann::json items = nlohmann::json::array();
    const fs::path hosts = probe.at("sys/class/fc_host");
    for (const std::string& host : listFolder(hosts)) {
        const fs::path folder = hosts / host;
        nlohmann::json item = {{"_name", host}};
        putIfPresent(item, "symbolic_name", readAttribute(folder / "symbolic_name"));
        putIfPresent(item, "port_state", readAttribute(folder / "port_state"));
        putIfPresent(item, "port_type", readAttribute(folder / "port_type"));
        putIfPresent(item, "speed", readAttribute(folder / "speed"));
        putIfPresent(item, "supported_speeds", readAttribute(folder / "supported_speeds"));
        putIfPresent(item, "supported_classes", readAttribute(folder / "supported_classes"));
        if (const PciDevice* pci = probe.pci.owning(resolved(folder / "device"))) {
            item["adapter"] = pci->deviceName;
            item["vendor"] = pci->vendorName;
            putIfPresent(item, "driver", pci->driver);
        }
        items.push_back(std::move(item));
    }
    return items;
}

}  // namespace nvx::linux_source
