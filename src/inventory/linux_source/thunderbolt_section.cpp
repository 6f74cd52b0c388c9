#include "inventory/linux_source/linux_probe.h"
#include "inventory/linux_source/sysfs.h"

namespace nvx::linux_source {

// Thunderbolt and USB4 routers: the host's own and every connected device.
// Unique ids are not read.
nlohmann::json thunderboltSection(LinuxProbe& probe) {
    nlohmann::json items = nlohmann::json::array();
    const fs::path devices = probe.at("sys/bus/thunderbolt/devices");
    for (const std::string& name : listFolder(devices)) {
        const fs::path folder = devices / name;
        const auto deviceName = readAttribute(folder / "device_name");
        if (!deviceName) continue;  // domains, services and retimers
        nlohmann::json item = {{"_name", *deviceName}, {"route", name}};
        putIfPresent(item, "vendor", readAttribute(folder / "vendor_name"));
        putIfPresent(item, "generation", readUnsigned(folder / "generation"));
        putIfPresent(item, "link_speed", readAttribute(folder / "rx_speed"));
        putIfPresent(item, "lanes", readUnsigned(folder / "rx_lanes"));
        putIfPresent(item, "firmware_version", readAttribute(folder / "nvm_version"));
        if (const auto authorized = readUnsigned(folder / "authorized")) item["authorized"] = *authorized != 0;
        items.push_back(std::move(item));
    }
    return items;
}

}  // namespace nvx::linux_source
