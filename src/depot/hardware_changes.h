#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "depot/hardware_profile.h"

namespace nvx::depot {

enum class HardwareChangeKind { memory, chip, cores, gpu, disk, pci, usb, network, audio };

inline constexpr HardwareChangeKind allHardwareChangeKinds[] = {
    HardwareChangeKind::memory, HardwareChangeKind::chip,    HardwareChangeKind::cores,
    HardwareChangeKind::gpu,    HardwareChangeKind::disk,    HardwareChangeKind::pci,
    HardwareChangeKind::usb,    HardwareChangeKind::network, HardwareChangeKind::audio};

// One difference of hardware between two inventories of a computer, said in
// Russian: "Память: 32 GB → 16 GB".
struct HardwareChange {
    HardwareChangeKind kind;
    std::string text;
    friend bool operator==(const HardwareChange&, const HardwareChange&) = default;
};

// What changed from `before` to `after`, in the order of the kinds. Only
// facts both inventories know are compared: a section one of them could not
// read, an unknown chip or memory size, an empty list of graphics is no
// change.
std::vector<HardwareChange> hardwareChanges(const HardwareProfile& before, const HardwareProfile& after);

// The kind's name in addresses ("memory") and its Russian title ("Память").
std::string_view changeKindName(HardwareChangeKind kind);
std::string_view changeKindTitle(HardwareChangeKind kind);
std::optional<HardwareChangeKind> changeKindNamed(std::string_view name);

}  // namespace nvx::depot
