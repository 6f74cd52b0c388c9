#include <sys/sysctl.h>
#include <unistd.h>

#include <memory>

#include "inventory/macos_tool_sources.h"
#include "inventory/platform_sources.h"
#include "inventory/sysctl.h"

namespace nvx {

namespace {

std::uint64_t physicalMemoryBytes() {
    std::uint64_t bytes = 0;
    std::size_t size = sizeof bytes;
    if (::sysctlbyname("hw.memsize", &bytes, &size, nullptr, 0) != 0) return 0;
    return bytes;
}

std::string operatingSystemVersion() {
    const auto version = sysctlString("kern.osproductversion");
    const auto build = sysctlString("kern.osversion");
    if (!version) return "macOS";
    return "Версия " + *version + (build ? " (сборка " + *build + ")" : std::string());
}

}  // namespace

InventorySources platformInventorySources() {
    InventorySources sources;
    sources.profiler = std::make_shared<SystemProfilerTool>();
    sources.diskUtility = std::make_shared<DiskUtilityTool>();
    sources.kernel.sysctlString = [](const std::string& name) { return sysctlString(name); };
    sources.kernel.sysctlInt = [](const std::string& name) { return sysctlInt(name); };
    sources.kernel.physicalMemoryBytes = physicalMemoryBytes;
    sources.kernel.processorCount = [] { return static_cast<std::int64_t>(::sysconf(_SC_NPROCESSORS_CONF)); };
    sources.kernel.operatingSystemVersion = operatingSystemVersion;
    return sources;
}

}  // namespace nvx
