#include <functional>

#include "inventory/linux_source/linux_probe.h"
#include "inventory/linux_source/linux_sources.h"
#include "inventory/linux_source/sysfs.h"

namespace nvx::linux_source {

namespace {

struct SectionSource {
    const char* dataType;
    // Folders or files whose presence means the kernel offers the interface;
    // any one of them is enough. Empty: always present.
    std::vector<const char*> interfaces;
    nlohmann::json (*build)(LinuxProbe&);
};

const std::vector<SectionSource>& sectionSources() {
    static const std::vector<SectionSource> table = {
        {"SPHardwareDataType", {}, hardwareSection},
        {"SPMemoryDataType", {"proc/meminfo"}, memorySection},
        {"SPDisplaysDataType", {"sys/bus/pci/devices", "sys/class/drm"}, displaysSection},
        {"SPStorageDataType", {"proc/self/mountinfo", "proc/self/mounts"}, storageSection},
        {"SPNVMeDataType", {"sys/class/nvme"}, nvmeSection},
        {"SPSerialATADataType", {"sys/class/ata_port"}, sataSection},
        {"SPPCIDataType", {"sys/bus/pci/devices"}, pciSection},
        {"SPThunderboltDataType", {"sys/bus/thunderbolt/devices"}, thunderboltSection},
        {"SPUSBDataType", {"sys/bus/usb/devices"}, usbSection},
        {"SPEthernetDataType", {"sys/class/net"}, networkSection},
        {"SPAudioDataType", {"sys/class/sound"}, audioSection},
        {"SPFibreChannelDataType", {"sys/class/fc_host"}, fibreChannelSection},
    };
    return table;
}

bool offered(const fs::path& root, const SectionSource& source) {
    if (source.interfaces.empty()) return true;
    for (const char* interface : source.interfaces)
        if (pathExists(root / interface)) return true;
    return false;
}

}  // namespace

LinuxSystemProfiler::LinuxSystemProfiler(fs::path root, std::shared_ptr<LinuxProbeHandOver> handOver)
    : root_(std::move(root)), handOver_(std::move(handOver)) {}

std::set<std::string> LinuxSystemProfiler::availableDataTypes(const StopToken& token) {
    token.check();
    std::set<std::string> types;
    for (const SectionSource& source : sectionSources())
        if (offered(root_, source)) types.insert(source.dataType);
    return types;
}

nlohmann::json LinuxSystemProfiler::sections(const std::vector<std::string>& dataTypes, const StopToken& token) {
    const auto shared = std::make_shared<LinuxProbe>(root_);
    LinuxProbe& probe = *shared;
    if (handOver_) handOver_->latest = shared;
    nlohmann::json tree = nlohmann::json::object();
    for (const SectionSource& source : sectionSources()) {
        if (std::find(dataTypes.begin(), dataTypes.end(), source.dataType) == dataTypes.end()) continue;
        token.check();
        if (!offered(root_, source)) continue;
        tree[source.dataType] = source.build(probe);
    }
    return tree;
}

}  // namespace nvx::linux_source
