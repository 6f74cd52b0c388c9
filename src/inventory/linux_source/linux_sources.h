#pragma once

#include <filesystem>
#include <memory>

#include "inventory/platform_sources.h"

namespace nvx::linux_source {

namespace fs = std::filesystem;

struct LinuxProbe;

// The system profiler's answers built from <root>/sys, <root>/proc and udev's
// database. A data type is available when its kernel interface exists; each
// call of sections() reads the machine afresh.
// The probe of the latest sections() call, handed once to the disk utility
// that follows it in the same inventory so the machine is read only once.
struct LinuxProbeHandOver {
    std::shared_ptr<LinuxProbe> latest;
};

class LinuxSystemProfiler : public SystemProfiler {
public:
    explicit LinuxSystemProfiler(fs::path root = "/", std::shared_ptr<LinuxProbeHandOver> handOver = {});
    std::set<std::string> availableDataTypes(const StopToken& token) override;
    nlohmann::json sections(const std::vector<std::string>& dataTypes, const StopToken& token) override;

private:
    fs::path root_;
    std::shared_ptr<LinuxProbeHandOver> handOver_;
};

// The disk utility's answers from <root>/sys/block: whole physical disks only,
// with partitions named by label or mount point.
class LinuxDiskUtility : public DiskUtility {
public:
    explicit LinuxDiskUtility(fs::path root = "/", std::shared_ptr<LinuxProbeHandOver> handOver = {});
    ~LinuxDiskUtility() override;
    nlohmann::json physicalDiskList(const StopToken& token) override;
    nlohmann::json diskDetails(const std::string& identifier, const StopToken& token) override;
    bool isWholeDisk(const std::string& identifier) const override;

private:
    fs::path root_;
    std::shared_ptr<LinuxProbeHandOver> handOver_;
    // Read by the list and kept for the detail calls that follow it.
    std::shared_ptr<LinuxProbe> probe_;
};

// Memory, processor count and operating system of the machine under <root>;
// sysctl names are answered by the kernel probes.
KernelFacts linuxKernelFacts(fs::path root = "/");

// "Debian GNU/Linux 12 (bookworm), ядро Linux 6.1.0-18-amd64" from os-release
// text and the kernel release.
std::string operatingSystemText(std::string_view osRelease, std::string_view kernelRelease);

// All three for the machine under <root>.
InventorySources linuxInventorySources(fs::path root = "/");

}  // namespace nvx::linux_source
