#include "inventory/linux_source/pci_devices.h"

#include <cstdio>

#include "inventory/linux_source/id_database.h"
#include "inventory/linux_source/sysfs.h"

namespace nvx::linux_source {

std::string hex4(std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04x", static_cast<unsigned>(value));
    return text;
}

std::string hexPair(std::uint16_t first, std::uint16_t second) { return hex4(first) + ":" + hex4(second); }

PciCatalog::PciCatalog(fs::path root)
    : PciCatalog(root, {root / "usr/share/misc/pci.ids", root / "usr/share/hwdata/pci.ids", root / "usr/share/pci.ids"}) {}

PciCatalog::PciCatalog(fs::path root, std::vector<fs::path> databases)
    : root_(std::move(root)), databases_(std::move(databases)) {}

bool PciCatalog::available() const { return pathExists(root_ / "sys/bus/pci/devices"); }

const std::vector<PciDevice>& PciCatalog::devices() {
    if (!loaded_) load();
    return devices_;
}

const PciDevice* PciCatalog::owning(const fs::path& devicePath) {
    if (!loaded_) load();
    for (fs::path path = devicePath; path.has_relative_path(); path = path.parent_path()) {
        if (const auto found = byPath_.find(path.string()); found != byPath_.end()) return &devices_[found->second];
        if (path == path.parent_path()) break;
    }
    return nullptr;
}

void PciCatalog::load() {
    loaded_ = true;
    const fs::path bus = root_ / "sys/bus/pci/devices";
    IdQuery query;
    for (const std::string& address : listFolder(bus)) {
        const fs::path folder = bus / address;
        const auto vendor = readUnsigned(folder / "vendor", 16);
        const auto device = readUnsigned(folder / "device", 16);
        const auto deviceClass = readUnsigned(folder / "class", 16);
        if (!vendor || !device || *vendor > 0xFFFF || *device > 0xFFFF) continue;
        PciDevice pci;
        pci.address = address;
        pci.path = resolved(folder);
        pci.vendorId = static_cast<std::uint16_t>(*vendor);
        pci.deviceId = static_cast<std::uint16_t>(*device);
        pci.classCode = static_cast<std::uint32_t>(deviceClass.value_or(0) & 0xFFFFFF);
        if (const auto value = readUnsigned(folder / "subsystem_vendor", 16); value && *value <= 0xFFFF && *value)
            pci.subVendorId = static_cast<std::uint16_t>(*value);
        if (const auto value = readUnsigned(folder / "subsystem_device", 16); value && *value <= 0xFFFF && pci.subVendorId)
            pci.subDeviceId = static_cast<std::uint16_t>(*value);
        pci.revision = readUnsigned(folder / "revision", 16);
        pci.driver = linkName(folder / "driver");
        pci.linkSpeed = readAttribute(folder / "current_link_speed");
        if (pci.linkSpeed && (pci.linkSpeed->starts_with("Unknown") || pci.linkSpeed->starts_with("0"))) pci.linkSpeed.reset();
        pci.linkWidth = readUnsigned(folder / "current_link_width");
        if (pci.linkWidth == 0u) pci.linkWidth.reset();

        query.vendors.insert(pci.vendorId);
        query.devices.insert(static_cast<std::uint32_t>(pci.vendorId) << 16 | pci.deviceId);
        if (pci.subVendorId && pci.subDeviceId) {
            query.vendors.insert(*pci.subVendorId);
            query.subsystems.insert(static_cast<std::uint64_t>(pci.vendorId) << 48 |
                                    static_cast<std::uint64_t>(pci.deviceId) << 32 |
                                    static_cast<std::uint64_t>(*pci.subVendorId) << 16 | *pci.subDeviceId);
        }
        byPath_[pci.path.string()] = devices_.size();
        devices_.push_back(std::move(pci));
    }
    if (devices_.empty()) return;

    const IdNames names = lookUpIdDatabase(databases_, query);
    for (PciDevice& pci : devices_) {
        pci.vendorName = names.vendor(pci.vendorId).value_or(hex4(pci.vendorId));
        // A device the database does not know is named by its maker where that is known.
        const auto vendorName = names.vendor(pci.vendorId);
        pci.deviceName = names.device(pci.vendorId, pci.deviceId)
                             .value_or(vendorName ? *vendorName + ", устройство " + hex4(pci.deviceId)
                                                  : hexPair(pci.vendorId, pci.deviceId));
        if (pci.subVendorId && pci.subDeviceId)
            pci.subsystemName = names.subsystem(pci.vendorId, pci.deviceId, *pci.subVendorId, *pci.subDeviceId);
        pci.className = names.className(pci.baseClass(), pci.subclass());
    }
}

nlohmann::json pciDescription(const PciDevice& device) {
    nlohmann::json item = {{"_name", device.deviceName},
                           {"vendor", device.vendorName},
                           {"vendor_id", "0x" + hex4(device.vendorId)},
                           {"device_id", "0x" + hex4(device.deviceId)},
                           {"pci_address", device.address}};
    if (device.subVendorId && device.subDeviceId)
        item["subsystem_id"] = hexPair(*device.subVendorId, *device.subDeviceId);
    if (device.subsystemName) item["subsystem"] = *device.subsystemName;
    if (device.className) item["device_class"] = *device.className;
    if (device.revision) item["revision"] = "0x" + hex4(static_cast<std::uint16_t>(*device.revision)).substr(2);
    if (device.driver) item["driver"] = *device.driver;
    if (device.linkSpeed) item["link_speed"] = *device.linkSpeed;
    if (device.linkWidth) item["link_width"] = "x" + std::to_string(*device.linkWidth);
    return item;
}

}  // namespace nvx::linux_source
