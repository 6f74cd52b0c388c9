#include "inventory/linux_source/linux_probe.h"
#include "inventory/linux_source/sysfs.h"

namespace nvx::linux_source {

namespace {

std::optional<std::uint64_t> meminfoBytes(std::string_view meminfo, std::string_view key) {
    const std::string needle = "\n" + std::string(key) + ":";
    const std::string text = "\n" + std::string(meminfo);
    const std::size_t start = text.find(needle);
    if (start == std::string::npos) return std::nullopt;
    const std::size_t valueStart = start + needle.size();
    const std::size_t end = text.find('\n', valueStart);
    std::string_view value = std::string_view(text).substr(valueStart, end - valueStart);
    const bool kibibytes = value.find("kB") != std::string_view::npos;
    if (kibibytes) value = value.substr(0, value.find("kB"));
    const auto number = parseUnsigned(value);
    if (!number) return std::nullopt;
    return kibibytes ? *number * 1024 : *number;
}

}  // namespace

// Memory as the kernel sees it, and the modules that the memory controller's
// error-reporting driver names (no root needed, unlike the firmware tables).
nlohmann::json memorySection(LinuxProbe& probe) {
    const std::string meminfo = readText(probe.at("proc/meminfo")).value_or("");
    nlohmann::json item = {{"_name", "system_memory"}};
    putIfPresent(item, "total_bytes", meminfoBytes(meminfo, "MemTotal"));
    putIfPresent(item, "swap_total_bytes", meminfoBytes(meminfo, "SwapTotal"));

    nlohmann::json modules = nlohmann::json::array();
    const fs::path controllers = probe.at("sys/devices/system/edac/mc");
    for (const std::string& controller : listFolder(controllers)) {
        for (const std::string& dimm : listFolder(controllers / controller)) {
            if (!dimm.starts_with("dimm") && !dimm.starts_with("rank")) continue;
            const fs::path folder = controllers / controller / dimm;
            const auto mebibytes = readUnsigned(folder / "size");
            if (!mebibytes || *mebibytes == 0) continue;
            nlohmann::json module = {{"_name", readAttribute(folder / "dimm_label").value_or(dimm)},
                                     {"size_bytes", *mebibytes * 1024 * 1024}};
            putIfPresent(module, "memory_type", readAttribute(folder / "dimm_mem_type"));
            putIfPresent(module, "error_correction", readAttribute(folder / "dimm_edac_mode"));
            putIfPresent(module, "location", readAttribute(folder / "dimm_location"));
            modules.push_back(std::move(module));
        }
    }
    if (!modules.empty()) item["modules"] = std::move(modules);
    return nlohmann::json::array({item});
}

}  // namespace nvx::linux_source
