#include "depot/hardware_profile.h"

#include <algorithm>

#include <nlohmann/json.hpp>

namespace nvx::depot {
namespace {

// Names of the devices of one inventory section: each item's "_name", and
// the items nested under "_items" (hubs and what hangs on them, audio
// devices under their card). nullopt when the section was not read.
std::optional<HardwareProfile::Names> sectionNames(const JSONValue& inventory, std::string_view section) {
    const JSONValue::Object* sections = inventory.object();
    if (sections == nullptr) return std::nullopt;
    const auto found = sections->find(section);
    if (found == sections->end() || found->second.array() == nullptr) return std::nullopt;
    HardwareProfile::Names names;
    std::vector<const JSONValue::Array*> pending{found->second.array()};
    // A work list, not recursion: the tree came from the network.
    while (!pending.empty()) {
        const JSONValue::Array* items = pending.back();
        pending.pop_back();
        for (const JSONValue& item : *items) {
            const JSONValue::Object* fields = item.object();
            if (fields == nullptr) continue;
            std::string name;
            if (const auto field = fields->find("_name"); field != fields->end() && field->second.string())
                name = *field->second.string();
            // Linux names network interfaces; the adapter is the hardware.
            if (const auto adapter = fields->find("adapter"); adapter != fields->end() && adapter->second.string())
                name = *adapter->second.string() + " (" + name + ")";
            if (!name.empty()) names.push_back(std::move(name));
            if (const auto nested = fields->find("_items"); nested != fields->end() && nested->second.array())
                pending.push_back(nested->second.array());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Linux reports the memory the kernel manages, a little less than what is
// installed and different after a kernel update. Rounded up to whole
// gibibytes (to 64 MiB on the smallest machines) it is the installed size on
// every system and stays put across updates.
std::uint64_t installedMemoryBytes(std::uint64_t reported) {
    constexpr std::uint64_t gibibyte = 1ULL << 30;
    constexpr std::uint64_t granule = 64ULL << 20;
    if (reported == 0) return 0;
    if (reported < 768ULL << 20) return (reported + granule - 1) / granule * granule;
    // A reading a hair above a whole size (firmware rounding) stays that size.
    const std::uint64_t slack = gibibyte / 64;
    return (reported - slack + gibibyte - 1) / gibibyte * gibibyte;
}

nlohmann::json namesJSON(const std::optional<HardwareProfile::Names>& names) {
    return names ? nlohmann::json(*names) : nlohmann::json(nullptr);
}

std::optional<HardwareProfile::Names> namesFrom(const nlohmann::json& json) {
    if (json.is_null()) return std::nullopt;
    return json.get<HardwareProfile::Names>();
}

}  // namespace

HardwareProfile HardwareProfile::of(const RunReport& report) {
    HardwareProfile profile;
    profile.memoryBytes = installedMemoryBytes(report.system.memory_bytes);
    profile.chip = report.system.chip;
    profile.physicalCores = report.system.physical_cores;
    profile.logicalCores = report.system.logical_cores;
    profile.gpus = report.system.gpu;
    std::sort(profile.gpus.begin(), profile.gpus.end());
    if (report.system.disks) {
        profile.disks.emplace();
        for (const DiskSummary& disk : *report.system.disks) profile.disks->push_back({disk.name, disk.bytes});
        std::sort(profile.disks->begin(), profile.disks->end());
    }
    profile.pciDevices = sectionNames(report.inventory, "SPPCIDataType");
    profile.usbDevices = sectionNames(report.inventory, "SPUSBDataType");
    profile.networkDevices = sectionNames(report.inventory, "SPEthernetDataType");
    profile.audioDevices = sectionNames(report.inventory, "SPAudioDataType");
    return profile;
}

std::string HardwareProfile::encoded() const {
    nlohmann::json disksJSON = nullptr;
    if (disks) {
        disksJSON = nlohmann::json::array();
        for (const Disk& disk : *disks) disksJSON.push_back({disk.name, disk.bytes});
    }
    const nlohmann::json json = {{"memory", memoryBytes},
                                 {"chip", chip},
                                 {"physical", physicalCores},
                                 {"logical", logicalCores},
                                 {"gpu", gpus},
                                 {"disk", disksJSON},
                                 {"pci", namesJSON(pciDevices)},
                                 {"usb", namesJSON(usbDevices)},
                                 {"network", namesJSON(networkDevices)},
                                 {"audio", namesJSON(audioDevices)}};
    // Texts from the report may hold invalid UTF-8; keep the bytes' meaning stable.
    return json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::optional<HardwareProfile> HardwareProfile::decoded(std::string_view text) {
    if (text.empty()) return std::nullopt;
    try {
        const nlohmann::json json = nlohmann::json::parse(text);
        HardwareProfile profile;
        profile.memoryBytes = json.at("memory").get<std::uint64_t>();
        profile.chip = json.at("chip").get<std::string>();
        profile.physicalCores = json.at("physical").get<std::int64_t>();
        profile.logicalCores = json.at("logical").get<std::int64_t>();
        profile.gpus = json.at("gpu").get<Names>();
        if (!json.at("disk").is_null()) {
            profile.disks.emplace();
            for (const auto& disk : json.at("disk"))
                profile.disks->push_back({disk.at(0).get<std::string>(), disk.at(1).get<std::uint64_t>()});
        }
        profile.pciDevices = namesFrom(json.at("pci"));
        profile.usbDevices = namesFrom(json.at("usb"));
        profile.networkDevices = namesFrom(json.at("network"));
        profile.audioDevices = namesFrom(json.at("audio"));
        return profile;
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
}

}  // namespace nvx::depot
