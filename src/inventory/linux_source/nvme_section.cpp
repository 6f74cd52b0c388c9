#include "inventory/linux_source/disk_description.h"
#include "inventory/linux_source/linux_probe.h"
#include "inventory/linux_source/sysfs.h"

namespace nvx::linux_source {

// NVMe controllers with their namespaces. Serial numbers, qualified names and
// world-wide identifiers are not read.
nlohmann::json nvmeSection(LinuxProbe& probe) {
    nlohmann::json items = nlohmann::json::array();
    const fs::path controllers = probe.at("sys/class/nvme");
    for (const std::string& controller : listFolder(controllers)) {
        const fs::path folder = controllers / controller;
        const auto model = readAttribute(folder / "model");
        nlohmann::json item = {{"_name", model ? collapsedBlanks(*model) : controller}, {"controller", controller}};
        if (model) item["device_model"] = collapsedBlanks(*model);
        putIfPresent(item, "firmware_version", readAttribute(folder / "firmware_rev"));
        putIfPresent(item, "transport", readAttribute(folder / "transport"));
        putIfPresent(item, "state", readAttribute(folder / "state"));
        if (const PciDevice* pci = probe.pci.owning(resolved(folder / "device"))) {
            item["vendor"] = pci->vendorName;
            item["controller_model"] = pci->deviceName;
            item["pci_address"] = pci->address;
            putIfPresent(item, "link_speed", pci->linkSpeed);
            if (pci->linkWidth) item["link_width"] = "x" + std::to_string(*pci->linkWidth);
        }
        nlohmann::json namespaces = nlohmann::json::array();
        const std::string controllerPath = resolved(folder).string() + "/";
        for (const BlockDevice& disk : probe.blocks.all()) {
            if (!disk.physical || disk.protocol != "NVMe") continue;
            if (disk.path.string().rfind(controllerPath, 0) != 0 && !disk.node.name.starts_with(controller + "n"))
                continue;
            nlohmann::json space = diskDescription(disk);
            space["_name"] = disk.node.name;
            namespaces.push_back(std::move(space));
        }
        item["namespaces"] = std::move(namespaces);
        items.push_back(std::move(item));
    }
    return items;
}

}  // namespace nvx::linux_source
