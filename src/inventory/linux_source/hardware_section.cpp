#include "inventory/linux_source/hardware_section.h"

#include <map>
#include <set>

#include "inventory/linux_source/firmware_text.h"
#include "inventory/linux_source/linux_probe.h"
#include "inventory/linux_source/machine_identity.h"
#include "inventory/linux_source/sysfs.h"
#include "inventory/utf8_text.h"

namespace nvx::linux_source {

namespace {

// "key : value" lines of the first processor block, and the whole file's
// processor count.
struct CpuInfo {
    std::map<std::string, std::string> first;
    std::size_t processors = 0;
    std::set<std::pair<std::string, std::string>> cores;  // physical id, core id
    std::set<std::string> packages;
    bool hypervisor = false;
};

CpuInfo parseCpuInfo(std::string_view text) {
    CpuInfo info;
    std::string physicalId;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        // The kernel copies processor names from firmware as they are, stray
        // bytes included; the report's writer takes only UTF-8.
        const std::string key = repairedUTF8(collapsedBlanks(line.substr(0, colon)));
        const std::string value = repairedUTF8(collapsedBlanks(line.substr(colon + 1)));
        if (key == "processor") ++info.processors;
        if (key == "physical id") {
            physicalId = value;
            info.packages.insert(value);
        }
        if (key == "core id") info.cores.insert({physicalId, value});
        if (key == "flags" && (" " + value + " ").find(" hypervisor ") != std::string::npos) info.hypervisor = true;
        if (info.processors <= 1 && !info.first.contains(key)) info.first[key] = value;
    }
    return info;
}

std::optional<std::string> armPartName(std::string_view implementer, std::string_view part) {
    static const std::map<std::pair<std::string, std::string>, const char*> names = {
        {{"0x41", "0xd03"}, "ARM Cortex-A53"},   {{"0x41", "0xd04"}, "ARM Cortex-A35"},
        {{"0x41", "0xd05"}, "ARM Cortex-A55"},   {{"0x41", "0xd07"}, "ARM Cortex-A57"},
        {{"0x41", "0xd08"}, "ARM Cortex-A72"},   {{"0x41", "0xd09"}, "ARM Cortex-A73"},
        {{"0x41", "0xd0a"}, "ARM Cortex-A75"},   {{"0x41", "0xd0b"}, "ARM Cortex-A76"},
        {{"0x41", "0xd0c"}, "ARM Neoverse-N1"},  {{"0x41", "0xd0d"}, "ARM Cortex-A77"},
        {{"0x41", "0xd40"}, "ARM Neoverse-V1"},  {{"0x41", "0xd41"}, "ARM Cortex-A78"},
        {{"0x41", "0xd49"}, "ARM Neoverse-N2"},  {{"0x41", "0xd4f"}, "ARM Neoverse-V2"},
        {{"0x41", "0xd8e"}, "ARM Neoverse-N3"},  {{"0x61", "0x022"}, "Apple M1 (Icestorm)"},
        {{"0x61", "0x023"}, "Apple M1 (Firestorm)"}, {{"0xc0", "0xac3"}, "Ampere-1"},
    };
    const auto found = names.find({std::string(implementer), std::string(part)});
    if (found == names.end()) return std::nullopt;
    return found->second;
}

// Numbers in a CPU list such as "0-3,8-11".
std::size_t countInCpuList(std::string_view list) {
    std::size_t count = 0;
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        const std::string_view range = list.substr(0, comma);
        list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
        const std::size_t dash = range.find('-');
        const auto first = parseUnsigned(range.substr(0, dash));
        const auto last = dash == std::string_view::npos ? first : parseUnsigned(range.substr(dash + 1));
        if (first && last && *last >= *first) count += *last - *first + 1;
    }
    return count;
}

}  // namespace

std::optional<std::string> processorName(std::string_view cpuinfo) {
    const CpuInfo info = parseCpuInfo(cpuinfo);
    for (const char* key : {"model name", "cpu model", "Processor", "cpu"})
        if (const auto found = info.first.find(key); found != info.first.end() && !found->second.empty())
            return found->second;
    const auto implementer = info.first.find("CPU implementer");
    const auto part = info.first.find("CPU part");
    if (implementer != info.first.end() && part != info.first.end())
        return armPartName(implementer->second, part->second)
            .value_or("ARM " + implementer->second + "/" + part->second);
    return std::nullopt;
}

ProcessorCounts countProcessors(const fs::path& root) {
    const CpuInfo cpuinfo = parseCpuInfo(readText(root / "proc/cpuinfo").value_or(""));
    const fs::path cpus = root / "sys/devices/system/cpu";
    ProcessorCounts counts;
    counts.logical = cpuinfo.processors;
    if (const auto online = readAttribute(cpus / "online"); online && counts.logical == 0)
        counts.logical = countInCpuList(*online);

    // Cores and packages from the topology of every online processor; a core
    // is known by its package, cluster and number.
    std::set<std::pair<std::string, std::string>> cores;
    std::set<std::string> packages;
    for (const std::string& name : listFolder(cpus)) {
        if (!name.starts_with("cpu") || name.size() < 4 || !std::isdigit(static_cast<unsigned char>(name[3]))) continue;
        if (readAttribute(cpus / name / "online") == "0") continue;
        const auto package = readAttribute(cpus / name / "topology/physical_package_id");
        const auto core = readAttribute(cpus / name / "topology/core_id");
        const auto cluster = readAttribute(cpus / name / "topology/cluster_id").value_or("");
        if (!package || !core) continue;
        packages.insert(*package);
        cores.insert({*package, cluster + "/" + *core});
    }
    if (cores.empty()) {
        cores = cpuinfo.cores;
        packages = cpuinfo.packages;
    }
    counts.physical = cores.size();
    counts.packages = packages.size();
    return counts;
}

nlohmann::json hardwareSection(LinuxProbe& probe) {
    nlohmann::json item = {{"_name", "hardware_overview"}};

    const auto vendor = dmiText(probe.root, "sys_vendor");
    const auto version = dmiText(probe.root, "product_version");
    const auto model = firmwareModelName(probe.root);
    putIfPresent(item, "machine_model", model);
    if (vendor || model) {
        // Lenovo keeps the type number in the product name and the name people know in the version.
        std::string name = vendor.value_or("");
        const std::string shown = version && vendor == "LENOVO" ? *version : model.value_or("");
        if (!shown.empty()) name += (name.empty() ? "" : " ") + shown;
        item["machine_name"] = name;
    }
    putIfPresent(item, "manufacturer", vendor);
    putIfPresent(item, "product_version", version);
    putIfPresent(item, "product_family", dmiText(probe.root, "product_family"));
    putIfPresent(item, "board_vendor", dmiText(probe.root, "board_vendor"));
    putIfPresent(item, "board_model", dmiText(probe.root, "board_name"));
    putIfPresent(item, "firmware_vendor", dmiText(probe.root, "bios_vendor"));
    putIfPresent(item, "firmware_version", dmiText(probe.root, "bios_version"));
    putIfPresent(item, "firmware_date", dmiText(probe.root, "bios_date"));

    const auto cpuinfoText = readText(probe.at("proc/cpuinfo"));
    const CpuInfo cpuinfo = parseCpuInfo(cpuinfoText.value_or(""));
    putIfPresent(item, "chip_type", processorName(cpuinfoText.value_or("")));
    if (const auto found = cpuinfo.first.find("vendor_id"); found != cpuinfo.first.end())
        item["cpu_vendor"] = found->second;

    const fs::path cpus = probe.at("sys/devices/system/cpu");
    const ProcessorCounts counts = countProcessors(probe.root);
    if (counts.logical > 0) item["number_processors"] = counts.logical;
    if (counts.physical > 0) item["physical_cores"] = counts.physical;
    if (counts.packages > 0) item["packages"] = counts.packages;

    if (const auto khz = readUnsigned(cpus / "cpu0/cpufreq/cpuinfo_max_freq")) {
        item["max_cpu_frequency_mhz"] = *khz / 1000;
    } else if (const auto found = cpuinfo.first.find("cpu MHz"); found != cpuinfo.first.end()) {
        // Virtual machines have no frequency scaling; the kernel still says the clock.
        const std::string whole = found->second.substr(0, found->second.find('.'));
        if (const auto mhz = parseUnsigned(whole)) item["cpu_frequency_mhz"] = *mhz;
    }
    for (const std::string& index : listFolder(cpus / "cpu0/cache")) {
        const fs::path cache = cpus / "cpu0/cache" / index;
        const auto level = readAttribute(cache / "level");
        const auto type = readAttribute(cache / "type");
        const auto size = readAttribute(cache / "size");
        if (!level || !type || !size) continue;
        const std::string suffix = *type == "Data" ? "d" : *type == "Instruction" ? "i" : "";
        item["l" + *level + suffix + "_cache"] = *size;
    }

    if (const auto meminfo = readText(probe.at("proc/meminfo"))) {
        const auto start = meminfo->find("MemTotal:");
        if (start != std::string::npos) {
            const std::string_view rest = std::string_view(*meminfo).substr(start + 9);
            const std::size_t kB = rest.find("kB");
            if (const auto kibibytes = parseUnsigned(rest.substr(0, kB)); kibibytes && kB != std::string_view::npos)
                item["physical_memory_bytes"] = *kibibytes * 1024;
        }
    }
    if (cpuinfo.hypervisor || pathExists(probe.at("sys/hypervisor/type"))) item["virtual_machine"] = true;
    putIfPresent(item, "kernel_release", readAttribute(probe.at("proc/sys/kernel/osrelease")));

    // The same for every user who runs the inventory (see platformIdentifier).
    putIfPresent(item, "platform_UUID", platformIdentifier(probe.root));
    return nlohmann::json::array({item});
}

}  // namespace nvx::linux_source
