#include "inventory/linux_source/linux_probe.h"
#include "inventory/linux_source/sysfs.h"

namespace nvx::linux_source {

// Network adapters backed by hardware (interfaces with a device), wired and
// wireless. Hardware addresses are not read.
nlohmann::json networkSection(LinuxProbe& probe) {
    nlohmann::json items = nlohmann::json::array();
    const fs::path interfaces = probe.at("sys/class/net");
    for (const std::string& name : listFolder(interfaces)) {
        const fs::path folder = interfaces / name;
        if (!pathExists(folder / "device")) continue;  // loopback, bridges, tunnels, bonds
        const fs::path device = resolved(folder / "device");
        const bool wireless = pathExists(folder / "wireless") || pathExists(folder / "phy80211");
        nlohmann::json item = {{"_name", name}, {"type", wireless ? "wireless" : "ethernet"}};
        auto driver = linkName(folder / "device/driver");
        putIfPresent(item, "driver", driver);
        if (const PciDevice* pci = probe.pci.owning(device)) {
            item["adapter"] = pci->deviceName;
            item["vendor"] = pci->vendorName;
            item["pci_address"] = pci->address;
            putIfPresent(item, "link_speed", pci->linkSpeed);
        } else if (const auto product = readAttribute(device.parent_path() / "product")) {
            item["adapter"] = *product;  // a USB adapter: the interface's parent is the device
            putIfPresent(item, "vendor", readAttribute(device.parent_path() / "manufacturer"));
        }
        const auto state = readAttribute(folder / "operstate");
        putIfPresent(item, "state", state);
        // The speed file holds -1 or garbage while the link is down.
        if (const auto speed = readUnsigned(folder / "speed"); speed && state == "up" && *speed > 0 && *speed < 10000000)
            item["link_speed_mbps"] = *speed;
        if (const auto duplex = readAttribute(folder / "duplex"); duplex && state == "up" && *duplex != "unknown")
            item["duplex"] = *duplex;
        putIfPresent(item, "mtu", readUnsigned(folder / "mtu"));
        items.push_back(std::move(item));
    }
    return items;
}

}  // namespace nvx::linux_source
