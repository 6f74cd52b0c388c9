#include "depot/hardware_changes.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <map>

namespace nvx::depot {
namespace {

using Names = HardwareProfile::Names;

std::string withComma(double value, int digits) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", digits, value);
    std::string text = buffer;
    std::replace(text.begin(), text.end(), '.', ',');
    return text;
}

// Memory in binary units as sold: "16 GB", "512 MB".
std::string memoryText(std::uint64_t bytes) {
    constexpr std::uint64_t gibibyte = 1ULL << 30;
    constexpr std::uint64_t mebibyte = 1ULL << 20;
    if (bytes >= gibibyte && bytes % gibibyte == 0) return std::to_string(bytes / gibibyte) + " GB";
    if (bytes >= gibibyte) return withComma(static_cast<double>(bytes) / gibibyte, 1) + " GB";
    return std::to_string((bytes + mebibyte - 1) / mebibyte) + " MB";
}

// Disks in decimal units, as their makers label them.
std::string diskText(std::uint64_t bytes) {
    const double value = static_cast<double>(bytes);
    if (value >= 1e12) return withComma(value / 1e12, 1) + " TB";
    if (value >= 1e9) return withComma(value / 1e9, 1) + " GB";
    return withComma(value / 1e6, 1) + " MB";
}

std::string quoted(const std::string& name) {
    return "«" + name + "»";
}

// Names in `from` that `minus` lacks, counted: two equal cards and one left
// means one was taken out.
Names missingFrom(const Names& from, const Names& minus) {
    Names result;
    std::set_difference(from.begin(), from.end(), minus.begin(), minus.end(), std::back_inserter(result));
    return result;
}

void compareNames(std::vector<HardwareChange>& changes, HardwareChangeKind kind, const std::string& title,
                  const std::string& added, const std::string& removed, const std::optional<Names>& before,
                  const std::optional<Names>& after) {
    if (!before || !after) return;
    for (const auto& name : missingFrom(*after, *before))
        changes.push_back({kind, title + ": " + added + " " + quoted(name)});
    for (const auto& name : missingFrom(*before, *after))
        changes.push_back({kind, title + ": " + removed + " " + quoted(name)});
}

void compareDisks(std::vector<HardwareChange>& changes, const std::vector<HardwareProfile::Disk>& before,
                  const std::vector<HardwareProfile::Disk>& after) {
    // Per name, the sizes only one side has. Equal disks of equal size on
    // both sides cancel out; what stays under one name on both sides was
    // resized (or swapped for another size), the rest was added or removed.
    std::map<std::string, std::pair<std::vector<std::uint64_t>, std::vector<std::uint64_t>>> byName;
    for (const auto& disk : before) byName[disk.name].first.push_back(disk.bytes);
    for (const auto& disk : after) byName[disk.name].second.push_back(disk.bytes);
    for (auto& [name, sizes] : byName) {
        std::vector<std::uint64_t> gone, came;
        std::set_difference(sizes.first.begin(), sizes.first.end(), sizes.second.begin(), sizes.second.end(),
                            std::back_inserter(gone));
        std::set_difference(sizes.second.begin(), sizes.second.end(), sizes.first.begin(), sizes.first.end(),
                            std::back_inserter(came));
        const std::size_t resized = std::min(gone.size(), came.size());
        for (std::size_t i = 0; i < resized; ++i)
            changes.push_back({HardwareChangeKind::disk,
                               "Диски: " + quoted(name) + " " + diskText(gone[i]) + " → " + diskText(came[i])});
        for (std::size_t i = resized; i < came.size(); ++i)
            changes.push_back(
                {HardwareChangeKind::disk, "Диски: добавлен " + quoted(name) + " (" + diskText(came[i]) + ")"});
        for (std::size_t i = resized; i < gone.size(); ++i)
            changes.push_back(
                {HardwareChangeKind::disk, "Диски: убран " + quoted(name) + " (" + diskText(gone[i]) + ")"});
    }
}

std::string coresText(const HardwareProfile& profile) {
    return std::to_string(profile.physicalCores) + " физических, " + std::to_string(profile.logicalCores) +
           " логических";
}

}  // namespace

std::vector<HardwareChange> hardwareChanges(const HardwareProfile& before, const HardwareProfile& after) {
    std::vector<HardwareChange> changes;
    if (before.memoryBytes != 0 && after.memoryBytes != 0 && before.memoryBytes != after.memoryBytes)
        changes.push_back({HardwareChangeKind::memory,
                           "Память: " + memoryText(before.memoryBytes) + " → " + memoryText(after.memoryBytes)});
    if (!before.chip.empty() && !after.chip.empty() && before.chip != after.chip)
        changes.push_back({HardwareChangeKind::chip, "Процессор: " + quoted(before.chip) + " → " + quoted(after.chip)});
    if (before.physicalCores > 0 && after.physicalCores > 0 && before.logicalCores > 0 && after.logicalCores > 0 &&
        (before.physicalCores != after.physicalCores || before.logicalCores != after.logicalCores))
        changes.push_back({HardwareChangeKind::cores, "Ядра: " + coresText(before) + " → " + coresText(after)});
    // Every computer with a display has graphics: an empty list is a probe
    // that found nothing, not a card taken out.
    if (!before.gpus.empty() && !after.gpus.empty())
        compareNames(changes, HardwareChangeKind::gpu, "Графика", "добавлена", "убрана", before.gpus, after.gpus);
    if (before.disks && after.disks) compareDisks(changes, *before.disks, *after.disks);
    compareNames(changes, HardwareChangeKind::pci, "PCI", "добавлено", "убрано", before.pciDevices, after.pciDevices);
    compareNames(changes, HardwareChangeKind::usb, "USB", "добавлено", "убрано", before.usbDevices, after.usbDevices);
    compareNames(changes, HardwareChangeKind::network, "Сеть", "добавлен адаптер", "убран адаптер",
                 before.networkDevices, after.networkDevices);
    compareNames(changes, HardwareChangeKind::audio, "Звук", "добавлено", "убрано", before.audioDevices,
                 after.audioDevices);
    return changes;
}

std::string_view changeKindName(HardwareChangeKind kind) {
    switch (kind) {
        case HardwareChangeKind::memory:
            return "memory";
        case HardwareChangeKind::chip:
            return "chip";
        case HardwareChangeKind::cores:
            return "cores";
        case HardwareChangeKind::gpu:
            return "gpu";
        case HardwareChangeKind::disk:
            return "disk";
        case HardwareChangeKind::pci:
            return "pci";
        case HardwareChangeKind::usb:
            return "usb";
        case HardwareChangeKind::network:
            return "network";
        case HardwareChangeKind::audio:
            return "audio";
    }
    return "";
}

std::string_view changeKindTitle(HardwareChangeKind kind) {
    switch (kind) {
        case HardwareChangeKind::memory:
            return "Память";
        case HardwareChangeKind::chip:
            return "Процессор";
        case HardwareChangeKind::cores:
            return "Ядра";
        case HardwareChangeKind::gpu:
            return "Графика";
        case HardwareChangeKind::disk:
            return "Диски";
        case HardwareChangeKind::pci:
            return "PCI";
        case HardwareChangeKind::usb:
            return "USB";
        case HardwareChangeKind::network:
            return "Сеть";
        case HardwareChangeKind::audio:
            return "Звук";
    }
    return "";
}

std::optional<HardwareChangeKind> changeKindNamed(std::string_view name) {
    for (HardwareChangeKind kind : allHardwareChangeKinds)
        if (changeKindName(kind) == name) return kind;
    return std::nullopt;
}

}  // namespace nvx::depot
