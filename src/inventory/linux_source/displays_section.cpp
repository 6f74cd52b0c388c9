#include <set>

#include "inventory/linux_source/edid.h"
#include "inventory/linux_source/linux_probe.h"
#include "inventory/linux_source/sysfs.h"

namespace nvx::linux_source {

namespace {

// The monitors connected to one DRM card, from its connector folders.
nlohmann::json connectedMonitors(LinuxProbe& probe, const std::string& card) {
    nlohmann::json monitors = nlohmann::json::array();
    const fs::path drm = probe.at("sys/class/drm");
    for (const std::string& connector : listFolder(drm)) {
        if (!connector.starts_with(card + "-")) continue;
        const fs::path folder = drm / connector;
        if (readAttribute(folder / "status") != "connected") continue;
        const std::string port = connector.substr(card.size() + 1);
        nlohmann::json monitor = {{"_name", port}, {"connector", port}};
        if (const auto edid = readText(folder / "edid")) {
            const MonitorIdentity identity = parseEdid(*edid);
            if (identity.name) monitor["_name"] = *identity.name;
            putIfPresent(monitor, "manufacturer", identity.manufacturer);
            putIfPresent(monitor, "year_of_manufacture", identity.yearOfManufacture);
        }
        if (const auto modes = readText(folder / "modes"); modes && !modes->empty())
            monitor["resolution"] = collapsedBlanks(modes->substr(0, modes->find('\n')));
        if (port.starts_with("eDP") || port.starts_with("LVDS") || port.starts_with("DSI"))
            monitor["connection_type"] = "internal";
        monitors.push_back(std::move(monitor));
    }
    return monitors;
}

}  // namespace

// Graphics processors (PCI display controllers, and DRM cards of chips that
// are not on PCI) with the monitors connected to each.
nlohmann::json displaysSection(LinuxProbe& probe) {
    nlohmann::json items = nlohmann::json::array();
    std::map<std::string, nlohmann::json*> byAddress;
    for (const PciDevice& device : probe.pci.devices()) {
        if (device.baseClass() != 0x03) continue;
        nlohmann::json item = pciDescription(device);
        item["sppci_model"] = device.deviceName;
        items.push_back(std::move(item));
    }
    for (auto& item : items) byAddress[item["pci_address"].get<std::string>()] = &item;

    const fs::path drm = probe.at("sys/class/drm");
    std::vector<nlohmann::json> platformCards;
    for (const std::string& card : listFolder(drm)) {
        if (!card.starts_with("card") || card.find('-') != std::string::npos) continue;
        const fs::path device = resolved(drm / card / "device");
        const PciDevice* pci = probe.pci.owning(device);
        nlohmann::json* item = nullptr;
        if (pci && byAddress.contains(pci->address)) {
            item = byAddress[pci->address];
        } else if (!pci) {
            // A graphics block of a system on a chip: named by its driver.
            const auto driver = linkName(drm / card / "device/driver");
            if (!driver) continue;
            platformCards.push_back({{"_name", *driver}, {"sppci_model", *driver}, {"driver", *driver}});
            item = &platformCards.back();
        } else {
            continue;
        }
        if (const auto vram = readUnsigned(drm / card / "device/mem_info_vram_total")) (*item)["vram_bytes"] = *vram;
        nlohmann::json monitors = connectedMonitors(probe, card);
        if (!monitors.empty()) {
            auto& list = (*item)["displays"];
            if (!list.is_array()) list = nlohmann::json::array();
            for (auto& monitor : monitors) list.push_back(std::move(monitor));
        }
    }
    for (auto& card : platformCards) items.push_back(std::move(card));
    return items;
}

}  // namespace nvx::linux_source
