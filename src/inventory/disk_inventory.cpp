#include <cmath>
#include <limits>
#include <optional>
#include <set>

#include "core/errors.h"
#include "core/report_json.h"
#include "inventory/collector.h"

namespace nvx::Collector {

using nlohmann::json;

namespace {

constexpr const char* noData = "Нет данных";

bool isListOfObjects(const json& value) {
    if (!value.is_array()) return false;
    for (const auto& element : value)
        if (!element.is_object()) return false;
    return true;
}

// A byte count from a number of the utility's answer. A negative, fractional
// beyond range or non-finite number is no size at all, so it never wraps
// around into a huge disk.
std::optional<std::uint64_t> byteCount(const json& object, const char* key) {
    const auto found = object.find(key);
    if (found == object.end()) return std::nullopt;
    if (found->is_number_unsigned()) return found->get<std::uint64_t>();
    if (found->is_number_integer()) {
        const auto value = found->get<std::int64_t>();
        if (value < 0) return std::nullopt;
        return static_cast<std::uint64_t>(value);
    }
    if (found->is_number_float()) {
        const double value = found->get<double>();
        if (!std::isfinite(value) || value < 0 || value >= 18446744073709551616.0) return std::nullopt;
        return static_cast<std::uint64_t>(value);
    }
    return std::nullopt;
}

std::optional<bool> flag(const json& object, const char* key) {
    const auto found = object.find(key);
    if (found == object.end() || !found->is_boolean()) return std::nullopt;
    return found->get<bool>();
}

std::optional<std::string> text(const json& object, const char* key) {
    const auto found = object.find(key);
    if (found == object.end() || !found->is_string()) return std::nullopt;
    return found->get<std::string>();
}

// Volume names of a disk: the named partitions, without the EFI system
// partition, which every Mac disk has and nobody looks for.
std::vector<std::string> volumeNames(const json& entry) {
    std::vector<std::string> names;
    const auto partitions = entry.find("Partitions");
    if (partitions == entry.end() || !isListOfObjects(*partitions)) return names;
    for (const auto& partition : *partitions)
        if (auto name = text(partition, "VolumeName"); name && *name != "EFI") names.push_back(std::move(*name));
    return names;
}

DiskSummary summaryFromDetails(const std::string& identifier, const json& entry, const json& details,
                               std::vector<std::string> volumes) {
    DiskSummary disk;
    disk.id = identifier;
    if (auto name = text(details, "MediaName"))
        disk.name = std::move(*name);
    else
        disk.name = text(details, "IORegistryEntryName").value_or(identifier);
    disk.bytes = byteCount(details, "TotalSize").value_or(byteCount(entry, "Size").value_or(0));
    disk.connection = text(details, "BusProtocol").value_or(noData);
    disk.internal = flag(details, "Internal");
    disk.solid_state = flag(details, "SolidState");
    disk.volumes = std::move(volumes);
    return disk;
}

}  // namespace

DiskInventory disks(const StopToken& token) {
    return disks(*platformInventorySources().diskUtility, token);
}

DiskInventory disks(DiskUtility& utility, const StopToken& token) {
    const json list = utility.physicalDiskList(token);
    const auto all = list.is_object() ? list.find("AllDisksAndPartitions") : list.end();
    if (!list.is_object() || list.empty() || all == list.end() || !isListOfObjects(*all))
        throw DepotriumError("macOS не вернула список физических накопителей.");

    DiskInventory inventory;
    inventory.raw = json::object();
    std::set<std::string> listed;
    for (const auto& entry : *all) {
        token.check();
        if (entry.empty()) continue;
        const std::optional<std::string> identifier = text(entry, "DeviceIdentifier");
        if (!identifier || !utility.isWholeDisk(*identifier)) continue;
        // A disk the list names twice is still one disk: examined and counted once.
        if (!listed.insert(*identifier).second) continue;

        std::vector<std::string> volumes = volumeNames(entry);
        try {
            json details = utility.diskDetails(*identifier, token);
            if (!details.is_object()) details = json::object();
            DiskSummary disk = summaryFromDetails(*identifier, entry, details, volumes);
            json record = toJSON(disk);
            inventory.disks.push_back(std::move(disk));
            inventory.raw[*identifier] = std::move(record);
        } catch (const CancellationError&) {
            throw CancellationError();
        } catch (const std::exception& error) {
            DiskSummary fallback;
            fallback.id = *identifier;
            fallback.name = *identifier;
            fallback.bytes = byteCount(entry, "Size").value_or(0);
            fallback.connection = noData;
            fallback.volumes = std::move(volumes);
            inventory.disks.push_back(std::move(fallback));
            inventory.warnings.push_back(*identifier + ": накопитель обнаружен, но его подробности недоступны. " +
                                         describe(error));
        }
    }
    return inventory;
}

}  // namespace nvx::Collector
