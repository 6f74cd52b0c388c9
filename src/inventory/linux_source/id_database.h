#pragma once

#include <cstdint>
#include <filesystem>
#include <istream>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace nvx::linux_source {

// Names from the PCI and USB ID databases (pci.ids, usb.ids). Both files have
// the same shape: a vendor line "vvvv  Name", its devices indented by one tab,
// their subsystems by two; pci.ids adds class lines "C cc  Name". Only the
// names asked for are kept, so one pass over the file answers a whole probe.

struct IdQuery {
    std::set<std::uint16_t> vendors;
    std::set<std::uint32_t> devices;     // vendor << 16 | device
    std::set<std::uint64_t> subsystems;  // vendor << 48 | device << 32 | subvendor << 16 | subdevice
};

struct IdNames {
    std::map<std::uint16_t, std::string> vendors;
    std::map<std::uint32_t, std::string> devices;
    std::map<std::uint64_t, std::string> subsystems;
    std::map<std::uint8_t, std::string> classes;      // base class
    std::map<std::uint16_t, std::string> subclasses;  // class << 8 | subclass

    std::optional<std::string> vendor(std::uint16_t vendorId) const;
    std::optional<std::string> device(std::uint16_t vendorId, std::uint16_t deviceId) const;
    std::optional<std::string> subsystem(std::uint16_t vendorId, std::uint16_t deviceId, std::uint16_t subVendorId,
                                         std::uint16_t subDeviceId) const;
    // The subclass name, else the base class name.
    std::optional<std::string> className(std::uint8_t baseClass, std::uint8_t subclass) const;
};

// Reads the database text; lines it does not understand are skipped. Class
// names are always kept (there are few).
IdNames parseIdDatabase(std::istream& text, const IdQuery& query);
IdNames parseIdDatabase(std::string_view text, const IdQuery& query);

// The first readable of `candidates` parsed for `query`; no names when none is
// installed.
IdNames lookUpIdDatabase(const std::vector<std::filesystem::path>& candidates, const IdQuery& query);

}  // namespace nvx::linux_source
