#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/report.h"
#include "core/stop_token.h"

namespace nvx {

// The questions the collector asks the platform. The macOS side answers them
// with /usr/sbin/system_profiler and /usr/sbin/diskutil; the Linux side from
// /sys, /proc and udev's database. The collector's logic is written once over
// these answers.

// The system profiler's answers.
class SystemProfiler {
public:
    virtual ~SystemProfiler() = default;
    // The names of the data types this machine can describe.
    virtual std::set<std::string> availableDataTypes(const StopToken& token) = 0;
    // One tree holding the requested sections, keyed by data type. Throws a
    // ParseError when the answer is not JSON; any JSON value may come back.
    virtual nlohmann::json sections(const std::vector<std::string>& dataTypes, const StopToken& token) = 0;
};

// The disk utility's answers, as loose trees shaped like diskutil's property
// lists: the list holds "AllDisksAndPartitions" with entries carrying
// "DeviceIdentifier", "Size" and "Partitions" (each with "VolumeName"); the
// details carry "MediaName", "IORegistryEntryName", "TotalSize",
// "BusProtocol", "Internal" and "SolidState".
class DiskUtility {
public:
    virtual ~DiskUtility() = default;
    virtual nlohmann::json physicalDiskList(const StopToken& token) = 0;
    virtual nlohmann::json diskDetails(const std::string& identifier, const StopToken& token) = 0;
    // Whether a list entry's identifier names a whole disk (not a partition).
    virtual bool isWholeDisk(const std::string& identifier) const = 0;
};

// Kernel and operating-system facts the summary needs.
struct KernelFacts {
    std::function<std::optional<std::string>(const std::string&)> sysctlString;
    std::function<std::optional<std::int64_t>(const std::string&)> sysctlInt;
    std::function<std::uint64_t()> physicalMemoryBytes;
    std::function<std::int64_t()> processorCount;
    std::function<std::string()> operatingSystemVersion;
};

struct InventorySources {
    std::shared_ptr<SystemProfiler> profiler;
    std::shared_ptr<DiskUtility> diskUtility;
    KernelFacts kernel;
    // The model catalog's lookup; empty means the built-in catalog
    // (ModelCatalog::lookup). Tests put a catalog of their own here.
    std::function<std::vector<ModelMatch>(std::string_view)> modelLookup;
};

// The sources of the machine the program runs on.
InventorySources platformInventorySources();

}  // namespace nvx
