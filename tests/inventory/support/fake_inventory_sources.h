#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "inventory/platform_sources.h"

namespace nvx::testing {

// A system profiler that answers from memory and remembers what it was asked.
class FakeSystemProfiler : public SystemProfiler {
public:
    std::set<std::string> dataTypes;
    nlohmann::json tree = nlohmann::json::object();
    std::vector<std::vector<std::string>> requests;
    // Thrown instead of answering, when set.
    std::function<void()> failure;

    std::set<std::string> availableDataTypes(const StopToken& token) override;
    nlohmann::json sections(const std::vector<std::string>& requested, const StopToken& token) override;
};

// A disk utility that answers from memory. A detail answer may be replaced by
// an action that throws (a time-out, a cancellation).
class FakeDiskUtility : public DiskUtility {
public:
    nlohmann::json list = nlohmann::json::object();
    std::map<std::string, nlohmann::json> details;
    std::map<std::string, std::function<nlohmann::json()>> detailActions;
    std::function<void()> listFailure;
    std::vector<std::string> detailRequests;

    nlohmann::json physicalDiskList(const StopToken& token) override;
    nlohmann::json diskDetails(const std::string& identifier, const StopToken& token) override;
    bool isWholeDisk(const std::string& identifier) const override;
};

// Kernel facts of a made-up machine; sysctl names missing from the maps are
// unreadable.
struct FakeKernel {
    std::map<std::string, std::string> strings;
    std::map<std::string, std::int64_t> integers;
    std::uint64_t memoryBytes = 17179869184;
    std::int64_t processors = 8;
    std::string operatingSystem = "Версия 14.4 (сборка 23E214)";

    KernelFacts facts() const;
};

// Sources made of the three fakes; the catalog lookup finds `knownModels`.
InventorySources fakeSources(std::shared_ptr<FakeSystemProfiler> profiler,
                             std::shared_ptr<FakeDiskUtility> disks, const FakeKernel& kernel,
                             std::set<std::string> knownModels = {});

// Every object key anywhere in `tree`.
std::vector<std::string> allKeys(const nlohmann::json& tree);

// A key that names a serial number, hardware UUID, UDID or world-wide name.
bool isIdentifyingKey(const std::string& key);

}  // namespace nvx::testing
