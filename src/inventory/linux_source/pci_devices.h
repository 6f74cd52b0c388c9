#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace nvx::linux_source {

namespace fs = std::filesystem;

struct PciDevice {
    std::string address;  // domain:bus:slot.function
    fs::path path;        // the device's folder, links resolved
    std::uint16_t vendorId = 0;
    std::uint16_t deviceId = 0;
    std::optional<std::uint16_t> subVendorId;
    std::optional<std::uint16_t> subDeviceId;
    std::uint32_t classCode = 0;  // base class << 16 | subclass << 8 | programming interface
    std::optional<std::uint64_t> revision;
    std::optional<std::string> driver;
    std::optional<std::string> linkSpeed;  // "8.0 GT/s PCIe"
    std::optional<std::uint64_t> linkWidth;
    // From the PCI ID database when installed, else the numbers.
    std::string vendorName;
    std::string deviceName;
    std::optional<std::string> subsystemName;
    std::optional<std::string> className;

    std::uint8_t baseClass() const { return static_cast<std::uint8_t>(classCode >> 16); }
    std::uint8_t subclass() const { return static_cast<std::uint8_t>(classCode >> 8); }
};

// The PCI functions under <root>/sys/bus/pci/devices, read once and named
// from the PCI ID database in one pass.
class PciCatalog {
public:
    explicit PciCatalog(fs::path root);
    PciCatalog(fs::path root, std::vector<fs::path> databases);

    bool available() const;
    const std::vector<PciDevice>& devices();
    // The PCI function a sysfs device path sits under (its nearest ancestor).
    const PciDevice* owning(const fs::path& devicePath);

private:
    void load();
    fs::path root_;
    std::vector<fs::path> databases_;
    bool loaded_ = false;
    std::vector<PciDevice> devices_;
    std::map<std::string, std::size_t> byPath_;
};

// The keys every section uses for a PCI function.
nlohmann::json pciDescription(const PciDevice& device);

// "8086:0d57", four hexadecimal digits each.
std::string hexPair(std::uint16_t first, std::uint16_t second);
std::string hex4(std::uint16_t value);

}  // namespace nvx::linux_source
