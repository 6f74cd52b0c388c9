#pragma once

#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/stop_token.h"
#include "inventory/platform_sources.h"

namespace nvx {

// Time limits of the macOS tools' runs, in seconds. Tests shorten them.
struct ToolTimeLimits {
    double dataTypeListSeconds = 15.0;
    double sectionsSeconds = 90.0;
    double diskListSeconds = 30.0;
    double diskDetailsSeconds = 10.0;
};

// Runs one tool run and returns its standard output: `command` (process
// runner) unless a test puts a recorder in its place.
using ToolRunner = std::function<std::string(const std::string& tool, const std::vector<std::string>& arguments,
                                             const StopToken& token, double timeoutSeconds)>;

// The system profiler's answers from /usr/sbin/system_profiler: the list of
// data types, then one batched JSON call for the requested ones.
class SystemProfilerTool : public SystemProfiler {
public:
    explicit SystemProfilerTool(std::string toolPath = "/usr/sbin/system_profiler", ToolTimeLimits limits = {},
                                ToolRunner runner = {});
    std::set<std::string> availableDataTypes(const StopToken& token) override;
    nlohmann::json sections(const std::vector<std::string>& dataTypes, const StopToken& token) override;

private:
    std::string toolPath_;
    ToolTimeLimits limits_;
    ToolRunner runner_;
};

// The disk utility's answers from /usr/sbin/diskutil's property lists.
class DiskUtilityTool : public DiskUtility {
public:
    explicit DiskUtilityTool(std::string toolPath = "/usr/sbin/diskutil", ToolTimeLimits limits = {},
                             ToolRunner runner = {});
    nlohmann::json physicalDiskList(const StopToken& token) override;
    nlohmann::json diskDetails(const std::string& identifier, const StopToken& token) override;
    // "disk" followed by digits only: disk0 is a disk, disk0s1 a partition.
    bool isWholeDisk(const std::string& identifier) const override;

private:
    std::string toolPath_;
    ToolTimeLimits limits_;
    ToolRunner runner_;
};

// The names in "system_profiler -listDataTypes" output: every piece between
// whitespace, the header's words included (they match no data type).
std::set<std::string> parseDataTypeList(std::string_view output);

}  // namespace nvx
