#include <utility>

#include "inventory/linux_source/linux_probe.h"
#include "inventory/linux_source/linux_sources.h"

namespace nvx::linux_source {

LinuxDiskUtility::LinuxDiskUtility(fs::path root, std::shared_ptr<LinuxProbeHandOver> handOver)
    : root_(std::move(root)), handOver_(std::move(handOver)) {}
LinuxDiskUtility::~LinuxDiskUtility() = default;

nlohmann::json LinuxDiskUtility::physicalDiskList(const StopToken& token) {
    token.check();
    // The probe the profiler just read is taken once; anything else reads afresh.
    if (handOver_ && handOver_->latest) {
        probe_ = std::exchange(handOver_->latest, nullptr);
    } else {
        probe_ = std::make_shared<LinuxProbe>(root_);
    }
    nlohmann::json disks = nlohmann::json::array();
    for (const BlockDevice& disk : probe_->blocks.all()) {
        if (!disk.physical) continue;
        nlohmann::json partitions = nlohmann::json::array();
        // A file system made on the whole disk, without a partition table,
        // counts as the disk's one volume.
        if (const auto name = probe_->blocks.volumeName(disk.node.name); name && disk.partitions.empty())
            partitions.push_back({{"DeviceIdentifier", disk.node.name}, {"Size", disk.node.bytes}, {"VolumeName", *name}});
        for (const BlockNode& node : disk.partitions) {
            nlohmann::json partition = {{"DeviceIdentifier", node.name}, {"Size", node.bytes}};
            if (const auto name = probe_->blocks.volumeName(node.name)) partition["VolumeName"] = *name;
            partitions.push_back(std::move(partition));
        }
        disks.push_back({{"DeviceIdentifier", disk.node.name}, {"Size", disk.node.bytes}, {"Partitions", partitions}});
    }
    return {{"AllDisksAndPartitions", std::move(disks)}};
}

nlohmann::json LinuxDiskUtility::diskDetails(const std::string& identifier, const StopToken& token) {
    token.check();
    if (!probe_) probe_ = std::make_shared<LinuxProbe>(root_);
    const BlockDevice* disk = probe_->blocks.find(identifier);
    if (!disk) return nlohmann::json::object();
    nlohmann::json details = {{"TotalSize", disk->node.bytes}};
    putIfPresent(details, "MediaName", disk->model);
    putIfPresent(details, "BusProtocol", disk->protocol);
    putIfPresent(details, "Internal", disk->internal);
    putIfPresent(details, "SolidState", disk->solidState);
    return details;
}

bool LinuxDiskUtility::isWholeDisk(const std::string& identifier) const {
    if (!probe_) return false;
    const BlockDevice* disk = probe_->blocks.find(identifier);
    return disk && disk->physical;
}

}  // namespace nvx::linux_source
