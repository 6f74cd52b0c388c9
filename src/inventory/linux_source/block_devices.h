#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "inventory/linux_source/pci_devices.h"

namespace nvx::linux_source {

namespace fs = std::filesystem;

// One mounted file system.
struct MountEntry {
    std::string deviceNumber;  // "254:0"; empty when unknown
    std::string source;        // "/dev/vda1"
    std::string mountPoint;
    std::string fileSystem;
    bool readOnly = false;
};

// /proc/self/mountinfo and /proc/self/mounts, octal escapes ("\040") decoded.
std::vector<MountEntry> parseMountInfo(std::string_view text);
std::vector<MountEntry> parseMounts(std::string_view text);

// The properties (E: lines) of a udev database record.
std::map<std::string, std::string> parseUdevRecord(std::string_view text);

// A block node: a whole device or a partition.
struct BlockNode {
    std::string name;
    std::string deviceNumber;
    std::uint64_t bytes = 0;
    std::optional<std::string> label;      // file-system label from udev
    std::optional<std::string> fileSystem;  // from udev or the mount table
    std::vector<std::string> mountPoints;
    std::vector<std::string> holders;  // device-mapper and RAID nodes built on it
};

struct BlockDevice {
    BlockNode node;
    fs::path path;  // the device's folder, links resolved
    bool physical = false;
    std::optional<std::string> model;
    std::optional<std::string> firmware;
    std::optional<std::string> protocol;  // "NVMe", "SATA", "USB", "SAS", "VirtIO"...
    std::optional<bool> internal;
    std::optional<bool> solidState;
    std::optional<bool> rotational;
    std::vector<BlockNode> partitions;
};

// The block devices under <root>/sys/block, read once, with the mount table
// and udev's labels.
class BlockDevices {
public:
    BlockDevices(fs::path root, PciCatalog& pci);

    const std::vector<BlockDevice>& all();
    const BlockDevice* find(const std::string& name);
    // Any node, whole or partition, by name.
    const BlockNode* node(const std::string& name);
    const std::vector<MountEntry>& mounts();
    // The node a mount entry lives on, if it is a block node here.
    std::optional<std::string> nodeOfMount(const MountEntry& mount);
    // The physical disk beneath a node: itself, its parent disk, or the disks
    // below a device-mapper or RAID node.
    const BlockDevice* physicalDiskBeneath(const std::string& name);
    // What a node is called to a user: its label, its first mount point, or
    // those of a node built on it.
    std::optional<std::string> volumeName(const std::string& name);

private:
    void load();
    BlockNode readNode(const fs::path& folder, const std::string& name);
    void describe(BlockDevice& device);

    fs::path root_;
    PciCatalog& pci_;
    bool loaded_ = false;
    std::vector<BlockDevice> devices_;
    std::vector<MountEntry> mounts_;
    std::map<std::string, std::pair<std::size_t, int>> nodes_;  // name -> device, partition (-1 = whole)
    std::map<std::string, std::string> byNumber_;
    std::map<std::string, std::string> mapperNames_;  // /dev/mapper name -> dm-N
};

}  // namespace nvx::linux_source
