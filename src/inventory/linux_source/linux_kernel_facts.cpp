#include <unistd.h>

#include "inventory/linux_source/firmware_text.h"
#include "inventory/linux_source/hardware_section.h"
#include "inventory/linux_source/linux_sources.h"
#include "inventory/linux_source/sysfs.h"
#include "inventory/sysctl.h"
#include "inventory/utf8_text.h"

namespace nvx::linux_source {

std::string operatingSystemText(std::string_view osRelease, std::string_view kernelRelease) {
    const auto values = parseKeyValueLines(osRelease);
    std::string name;
    for (const char* key : {"PRETTY_NAME", "NAME"})
        if (const auto found = values.find(key); found != values.end() && !found->second.empty()) {
            name = found->second;
            break;
        }
    if (name.empty()) name = "Linux";
    // Any caller's text, not only a repaired attribute: the name goes into the report.
    if (!kernelRelease.empty()) name += ", ядро Linux " + repairedUTF8(collapsedBlanks(kernelRelease));
    return name;
}

KernelFacts linuxKernelFacts(fs::path root) {
    KernelFacts facts;
    if (root == fs::path("/")) {
        facts.sysctlString = [](const std::string& name) { return sysctlString(name); };
        facts.sysctlInt = [](const std::string& name) { return sysctlInt(name); };
    } else {
        // A recorded tree answers the processor's name and counts itself, so that
        // nothing of the machine running the probe mixes in.
        facts.sysctlString = [root](const std::string& name) -> std::optional<std::string> {
            if (name == "hw.model") return firmwareModelName(root);
            if (name != "machdep.cpu.brand_string") return std::nullopt;
            return processorName(readText(root / "proc/cpuinfo").value_or(""));
        };
        facts.sysctlInt = [root](const std::string& name) -> std::optional<std::int64_t> {
            const ProcessorCounts counts = countProcessors(root);
            const std::size_t count = name == "hw.logicalcpu" ? counts.logical : name == "hw.physicalcpu" ? counts.physical : 0;
            if (count == 0) return std::nullopt;
            return static_cast<std::int64_t>(count);
        };
    }
    facts.physicalMemoryBytes = [root]() -> std::uint64_t {
        const std::string meminfo = readText(root / "proc/meminfo").value_or("");
        const std::size_t start = meminfo.find("MemTotal:");
        if (start == std::string::npos) return 0;
        const std::size_t end = meminfo.find("kB", start);
        const auto kibibytes = parseUnsigned(std::string_view(meminfo).substr(start + 9, end - start - 9));
        return kibibytes.value_or(0) * 1024;
    };
    facts.processorCount = [root]() -> std::int64_t {
        if (root != fs::path("/")) return static_cast<std::int64_t>(countProcessors(root).logical);
        const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
        return static_cast<std::int64_t>(online > 0 ? online : 1);
    };
    facts.operatingSystemVersion = [root] {
        auto release = readText(root / "etc/os-release");
        if (!release) release = readText(root / "usr/lib/os-release");
        return operatingSystemText(release.value_or(""), readAttribute(root / "proc/sys/kernel/osrelease").value_or(""));
    };
    return facts;
}

InventorySources linuxInventorySources(fs::path root) {
    InventorySources sources;
    const auto handOver = std::make_shared<LinuxProbeHandOver>();
    sources.profiler = std::make_shared<LinuxSystemProfiler>(root, handOver);
    sources.diskUtility = std::make_shared<LinuxDiskUtility>(root, handOver);
    sources.kernel = linuxKernelFacts(root);
    return sources;
}

}  // namespace nvx::linux_source
