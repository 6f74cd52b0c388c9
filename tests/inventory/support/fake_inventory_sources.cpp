#include "inventory/support/fake_inventory_sources.h"

#include <algorithm>
#include <cctype>

#include "core/report.h"

namespace nvx::testing {

std::set<std::string> FakeSystemProfiler::availableDataTypes(const StopToken& token) {
    token.check();
    if (failure) failure();
    return dataTypes;
}

nlohmann::json FakeSystemProfiler::sections(const std::vector<std::string>& requested, const StopToken& token) {
    token.check();
    requests.push_back(requested);
    return tree;
}

nlohmann::json FakeDiskUtility::physicalDiskList(const StopToken& token) {
    token.check();
    if (listFailure) listFailure();
    return list;
}

nlohmann::json FakeDiskUtility::diskDetails(const std::string& identifier, const StopToken& token) {
    detailRequests.push_back(identifier);
    if (const auto action = detailActions.find(identifier); action != detailActions.end()) return action->second();
    token.check();
    const auto found = details.find(identifier);
    return found == details.end() ? nlohmann::json::object() : found->second;
}

bool FakeDiskUtility::isWholeDisk(const std::string& identifier) const {
    return identifier.starts_with("disk") && identifier.size() > 4 &&
           std::all_of(identifier.begin() + 4, identifier.end(), [](char c) { return c >= '0' && c <= '9'; });
}

KernelFacts FakeKernel::facts() const {
    KernelFacts kernel;
    kernel.sysctlString = [strings = strings](const std::string& name) -> std::optional<std::string> {
        const auto found = strings.find(name);
        if (found == strings.end()) return std::nullopt;
        return found->second;
    };
    kernel.sysctlInt = [integers = integers](const std::string& name) -> std::optional<std::int64_t> {
        const auto found = integers.find(name);
        if (found == integers.end()) return std::nullopt;
        return found->second;
    };
    kernel.physicalMemoryBytes = [bytes = memoryBytes] { return bytes; };
    kernel.processorCount = [count = processors] { return count; };
    kernel.operatingSystemVersion = [text = operatingSystem] { return text; };
    return kernel;
}

InventorySources fakeSources(std::shared_ptr<FakeSystemProfiler> profiler, std::shared_ptr<FakeDiskUtility> disks,
                             const FakeKernel& kernel, std::set<std::string> knownModels) {
    InventorySources sources;
    sources.profiler = std::move(profiler);
    sources.diskUtility = std::move(disks);
    sources.kernel = kernel.facts();
    sources.modelLookup = [known = std::move(knownModels)](std::string_view identifier) {
        std::vector<ModelMatch> matches;
        if (known.contains(std::string(identifier)))
            matches.push_back({std::string(identifier), "Тестовая модель", "2023", "test", std::nullopt});
        return matches;
    };
    return sources;
}

namespace {
void collectKeys(const nlohmann::json& node, std::vector<std::string>& keys) {
    if (node.is_object()) {
        for (const auto& [key, value] : node.items()) {
            keys.push_back(key);
            collectKeys(value, keys);
        }
    } else if (node.is_array()) {
        for (const auto& element : node) collectKeys(element, keys);
    }
}
}  // namespace

std::vector<std::string> allKeys(const nlohmann::json& tree) {
    std::vector<std::string> keys;
    collectKeys(tree, keys);
    return keys;
}

bool isIdentifyingKey(const std::string& key) {
    std::string lower = key;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    for (const char* word : {"serial", "uuid", "udid", "wwn"})
        if (lower.find(word) != std::string::npos) return true;
    return false;
}

}  // namespace nvx::testing
