#include <set>

#include "inventory/linux_source/id_database.h"
#include "inventory/linux_source/linux_probe.h"
#include "inventory/linux_source/sysfs.h"

namespace nvx::linux_source {

// USB devices, hubs included, in bus order. Names come from the devices
// themselves, else from the USB ID database. Serial numbers are not read.
nlohmann::json usbSection(LinuxProbe& probe) {
    struct Device {
        std::string name;
        fs::path folder;
        std::optional<std::uint64_t> vendor;
        std::optional<std::uint64_t> product;
    };
    std::vector<Device> devices;
    IdQuery query;
    const fs::path bus = probe.at("sys/bus/usb/devices");
    for (const std::string& name : listFolder(bus)) {
        if (name.find(':') != std::string::npos) continue;  // interfaces
        Device device{name, bus / name, readUnsigned(bus / name / "idVendor", 16), readUnsigned(bus / name / "idProduct", 16)};
        if (device.vendor && device.product && *device.vendor <= 0xFFFF && *device.product <= 0xFFFF &&
            (!pathExists(device.folder / "product") || !pathExists(device.folder / "manufacturer"))) {
            query.vendors.insert(static_cast<std::uint16_t>(*device.vendor));
            query.devices.insert(static_cast<std::uint32_t>(*device.vendor << 16 | *device.product));
        }
        devices.push_back(std::move(device));
    }
    const IdNames names =
        query.vendors.empty()
            ? IdNames{}
            : lookUpIdDatabase({probe.at("usr/share/misc/usb.ids"), probe.at("usr/share/hwdata/usb.ids"),
                                probe.at("var/lib/usbutils/usb.ids"), probe.at("usr/share/usb.ids")},
                               query);

    nlohmann::json items = nlohmann::json::array();
    for (const Device& device : devices) {
        const auto vendorId = static_cast<std::uint16_t>(device.vendor.value_or(0) & 0xFFFF);
        const auto productId = static_cast<std::uint16_t>(device.product.value_or(0) & 0xFFFF);
        auto product = readAttribute(device.folder / "product");
        if (!product) product = names.device(vendorId, productId);
        auto manufacturer = readAttribute(device.folder / "manufacturer");
        if (!manufacturer) manufacturer = names.vendor(vendorId);

        nlohmann::json item = {{"_name", product.value_or("USB " + hexPair(vendorId, productId))},
                               {"location", device.name}};
        putIfPresent(item, "manufacturer", manufacturer);
        if (device.vendor) item["vendor_id"] = "0x" + hex4(vendorId);
        if (device.product) item["product_id"] = "0x" + hex4(productId);
        putIfPresent(item, "usb_version", readAttribute(device.folder / "version"));
        if (const auto speed = readAttribute(device.folder / "speed")) item["speed"] = *speed + " Mb/s";
        putIfPresent(item, "device_class", readAttribute(device.folder / "bDeviceClass"));
        putIfPresent(item, "max_power", readAttribute(device.folder / "bMaxPower"));
        std::set<std::string> drivers;
        for (const std::string& child : listFolder(device.folder))
            if (child.starts_with(device.name + ":"))
                if (const auto driver = linkName(device.folder / child / "driver")) drivers.insert(*driver);
        if (!drivers.empty()) item["drivers"] = drivers;
        if (device.name.starts_with("usb"))
            if (const PciDevice* controller = probe.pci.owning(resolved(device.folder)))
                item["host_controller"] = controller->deviceName;
        items.push_back(std::move(item));
    }
    return items;
}

}  // namespace nvx::linux_source
