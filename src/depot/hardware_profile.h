#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/report.h"

namespace nvx::depot {

// The facts of a report that describe the computer's hardware and nothing
// else: no free space, no mount points, no benchmark values, no order of
// discovery. Two inventories of unchanged hardware give equal profiles, so
// a difference between profiles is a change of hardware. Lists are sorted;
// a list that is nullopt was not read in that inventory (and is then not
// compared), which is not the same as an empty one.
struct HardwareProfile {
    using Names = std::vector<std::string>;
    struct Disk {
        std::string name;
        std::uint64_t bytes = 0;
        friend auto operator<=>(const Disk&, const Disk&) = default;
    };

    std::uint64_t memoryBytes = 0;  // installed, in whole GiB above 1 GiB; 0: unknown
    std::string chip;               // empty: unknown
    std::int64_t physicalCores = 0;
    std::int64_t logicalCores = 0;
    Names gpus;
    std::optional<std::vector<Disk>> disks;
    std::optional<Names> pciDevices;
    std::optional<Names> usbDevices;
    std::optional<Names> networkDevices;
    std::optional<Names> audioDevices;

    friend bool operator==(const HardwareProfile&, const HardwareProfile&) = default;

    static HardwareProfile of(const RunReport& report);
    // Compact JSON with a fixed order: equal profiles give equal texts.
    std::string encoded() const;
    // nullopt for a text that is not an encoded profile (a record stored
    // before profiles were kept, or damage).
    static std::optional<HardwareProfile> decoded(std::string_view text);
};

}  // namespace nvx::depot
