#include "inventory/linux_source/block_devices.h"

#include <algorithm>
#include <functional>
#include <set>

#include "inventory/linux_source/sysfs.h"
#include "inventory/utf8_text.h"

namespace nvx::linux_source {

namespace {

constexpr std::uint64_t sectorBytes = 512;  // sysfs sizes count 512-byte sectors whatever the device's own

std::vector<std::string_view> fields(std::string_view line) {
    std::vector<std::string_view> result;
    std::size_t position = 0;
    while (position < line.size()) {
        while (position < line.size() && (line[position] == ' ' || line[position] == '\t')) ++position;
        std::size_t end = position;
        while (end < line.size() && line[end] != ' ' && line[end] != '\t') ++end;
        if (end > position) result.push_back(line.substr(position, end - position));
        position = end;
    }
    return result;
}

// Mount tables write blanks, tabs, line breaks and backslashes as \ooo.
std::string unescaped(std::string_view text) {
    std::string result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size()) {
            const std::string_view digits = text.substr(i + 1, 3);
            if (digits.size() == 3 && std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '7'; })) {
                result += static_cast<char>((digits[0] - '0') * 64 + (digits[1] - '0') * 8 + (digits[2] - '0'));
                i += 3;
                continue;
            }
        }
        result += text[i];
    }
    return repairedUTF8(result);
}

template <typename Visit>
void forEachLine(std::string_view text, Visit visit) {
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        visit(text.substr(0, end));
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
}

bool hasOption(std::string_view options, std::string_view option) {
    for (std::size_t start = 0; start <= options.size();) {
        const std::size_t end = std::min(options.find(',', start), options.size());
        if (options.substr(start, end - start) == option) return true;
        start = end + 1;
    }
    return false;
}

// Nodes the kernel makes out of other storage or memory, never a drive.
bool isVirtualName(std::string_view name) {
    for (const char* prefix : {"loop", "ram", "zram", "dm-", "md", "nbd", "rbd", "drbd", "zd", "pmem"})
        if (name.starts_with(prefix)) return true;
    return false;
}

// eMMC chips show their boot and replay-protected areas as extra disks.
bool isMemoryCardArea(std::string_view name) {
    return name.starts_with("mmcblk") &&
           (name.find("boot") != std::string_view::npos || name.find("rpmb") != std::string_view::npos);
}

bool contains(const std::string& text, std::string_view part) { return text.find(part) != std::string::npos; }

}  // namespace

std::vector<MountEntry> parseMountInfo(std::string_view text) {
    std::vector<MountEntry> mounts;
    forEachLine(text, [&](std::string_view line) {
        const auto parts = fields(line);
        // id parent major:minor root mount-point options [optional...] - type source super-options
        const auto separator = std::find(parts.begin(), parts.end(), std::string_view("-"));
        if (parts.size() < 6 || separator == parts.end() || parts.end() - separator < 3) return;
        MountEntry mount;
        mount.deviceNumber = std::string(parts[2]);
        mount.mountPoint = unescaped(parts[4]);
        mount.readOnly = hasOption(parts[5], "ro");
        mount.fileSystem = unescaped(separator[1]);
        mount.source = unescaped(separator[2]);
        mounts.push_back(std::move(mount));
    });
    return mounts;
}

std::vector<MountEntry> parseMounts(std::string_view text) {
    std::vector<MountEntry> mounts;
    forEachLine(text, [&](std::string_view line) {
        const auto parts = fields(line);
        if (parts.size() < 4) return;
        MountEntry mount;
        mount.source = unescaped(parts[0]);
        mount.mountPoint = unescaped(parts[1]);
        mount.fileSystem = unescaped(parts[2]);
        mount.readOnly = hasOption(parts[3], "ro");
        mounts.push_back(std::move(mount));
    });
    return mounts;
}

std::map<std::string, std::string> parseUdevRecord(std::string_view text) {
    // Only what describes the drive and its file systems is kept; serials,
    // world-wide names and UUIDs, which udev also records, never are.
    static const std::set<std::string_view> wanted = {"ID_FS_LABEL", "ID_FS_TYPE",   "ID_MODEL",
                                                      "ID_MODEL_ENC", "ID_BUS",      "ID_ATA_SATA",
                                                      "ID_ATA_ROTATION_RATE_RPM", "ID_REVISION", "ID_VENDOR"};
    std::map<std::string, std::string> properties;
    forEachLine(text, [&](std::string_view line) {
        if (!line.starts_with("E:")) return;
        line.remove_prefix(2);
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos || equals == 0 || !wanted.contains(line.substr(0, equals))) return;
        properties[std::string(line.substr(0, equals))] = repairedUTF8(line.substr(equals + 1));
    });
    return properties;
}

namespace {

// udev writes blanks and other bytes of a model name as \xNN.
std::string decodedUdevText(std::string_view text) {
    std::string result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x') {
            if (const auto value = parseUnsigned(text.substr(i + 2, 2), 16)) {
                result += static_cast<char>(*value);
                i += 3;
                continue;
            }
        }
        result += text[i];
    }
    return collapsedBlanks(repairedUTF8(result));
}

}  // namespace

BlockDevices::BlockDevices(fs::path root, PciCatalog& pci) : root_(std::move(root)), pci_(pci) {}

const std::vector<BlockDevice>& BlockDevices::all() {
    if (!loaded_) load();
    return devices_;
}

const std::vector<MountEntry>& BlockDevices::mounts() {
    if (!loaded_) load();
    return mounts_;
}

const BlockDevice* BlockDevices::find(const std::string& name) {
    if (!loaded_) load();
    const auto found = nodes_.find(name);
    if (found == nodes_.end() || found->second.second != -1) return nullptr;
    return &devices_[found->second.first];
}

const BlockNode* BlockDevices::node(const std::string& name) {
    if (!loaded_) load();
    const auto found = nodes_.find(name);
    if (found == nodes_.end()) return nullptr;
    const BlockDevice& device = devices_[found->second.first];
    return found->second.second < 0 ? &device.node : &device.partitions[static_cast<std::size_t>(found->second.second)];
}

std::optional<std::string> BlockDevices::nodeOfMount(const MountEntry& mount) {
    if (!loaded_) load();
    if (const auto found = byNumber_.find(mount.deviceNumber); !mount.deviceNumber.empty() && found != byNumber_.end())
        return found->second;
    // btrfs and the plain mounts file give no usable device number: go by the source's name.
    if (mount.source.starts_with("/dev/")) {
        const std::string name = fs::path(mount.source).filename().string();
        if (nodes_.contains(name)) return name;
        if (const auto alias = mapperNames_.find(name); alias != mapperNames_.end()) return alias->second;
    }
    return std::nullopt;
}

const BlockDevice* BlockDevices::physicalDiskBeneath(const std::string& name) {
    if (!loaded_) load();
    std::set<std::string> seen;
    std::function<const BlockDevice*(const std::string&)> beneath = [&](const std::string& current) -> const BlockDevice* {
        if (!seen.insert(current).second) return nullptr;
        const auto found = nodes_.find(current);
        if (found == nodes_.end()) return nullptr;
        const BlockDevice& device = devices_[found->second.first];
        if (device.physical) return &device;
        for (const std::string& slave : listFolder(root_ / "sys/block" / current / "slaves"))
            if (const BlockDevice* disk = beneath(slave)) return disk;
        return nullptr;
    };
    return beneath(name);
}

std::optional<std::string> BlockDevices::volumeName(const std::string& name) {
    std::set<std::string> seen;
    std::function<std::optional<std::string>(const std::string&)> nameOf = [&](const std::string& current) -> std::optional<std::string> {
        if (!seen.insert(current).second) return std::nullopt;
        const BlockNode* found = node(current);
        if (!found) return std::nullopt;
        if (found->label) return found->label;
        if (!found->mountPoints.empty()) return found->mountPoints.front();
        for (const std::string& holder : found->holders)
            if (auto held = nameOf(holder)) return held;
        return std::nullopt;
    };
    return nameOf(name);
}

BlockNode BlockDevices::readNode(const fs::path& folder, const std::string& name) {
    BlockNode node;
    node.name = name;
    node.deviceNumber = readAttribute(folder / "dev").value_or("");
    node.bytes = readUnsigned(folder / "size").value_or(0) * sectorBytes;
    node.holders = listFolder(folder / "holders");
    if (!node.deviceNumber.empty()) {
        if (const auto record = readText(root_ / "run/udev/data" / ("b" + node.deviceNumber))) {
            const auto properties = parseUdevRecord(*record);
            if (const auto label = properties.find("ID_FS_LABEL"); label != properties.end() && !label->second.empty())
                node.label = label->second;
            if (const auto type = properties.find("ID_FS_TYPE"); type != properties.end() && !type->second.empty())
                node.fileSystem = type->second;
        }
    }
    return node;
}

void BlockDevices::load() {
    loaded_ = true;
    if (const auto info = readText(root_ / "proc/self/mountinfo"))
        mounts_ = parseMountInfo(*info);
    else if (const auto plain = readText(root_ / "proc/self/mounts"))
        mounts_ = parseMounts(*plain);

    const fs::path blockFolder = root_ / "sys/block";
    for (const std::string& name : listFolder(blockFolder)) {
        const fs::path entry = blockFolder / name;
        BlockDevice device;
        device.node = readNode(entry, name);
        device.path = resolved(entry);
        std::error_code error;
        const bool isLink = fs::is_symlink(entry, error);
        const bool virtualPath = isLink && contains(device.path.string(), "/devices/virtual/");
        const bool hidden = readUnsigned(entry / "hidden").value_or(0) != 0;
        device.physical = !virtualPath && !hidden && !isVirtualName(name) && !isMemoryCardArea(name);

        for (const std::string& child : listFolder(entry))
            if (child.starts_with(name) && pathExists(entry / child / "partition"))
                device.partitions.push_back(readNode(entry / child, child));

        if (device.physical) describe(device);
        if (const auto mapped = readAttribute(entry / "dm/name")) mapperNames_[*mapped] = name;
        const std::size_t index = devices_.size();
        nodes_[name] = {index, -1};
        if (!device.node.deviceNumber.empty()) byNumber_[device.node.deviceNumber] = name;
        for (std::size_t p = 0; p < device.partitions.size(); ++p) {
            nodes_[device.partitions[p].name] = {index, static_cast<int>(p)};
            if (!device.partitions[p].deviceNumber.empty())
                byNumber_[device.partitions[p].deviceNumber] = device.partitions[p].name;
        }
        devices_.push_back(std::move(device));
    }

    for (const MountEntry& mount : mounts_) {
        const auto name = nodeOfMount(mount);
        if (!name) continue;
        const auto& [index, partition] = nodes_[*name];
        BlockNode& node = partition < 0 ? devices_[index].node : devices_[index].partitions[static_cast<std::size_t>(partition)];
        if (std::find(node.mountPoints.begin(), node.mountPoints.end(), mount.mountPoint) == node.mountPoints.end())
            node.mountPoints.push_back(mount.mountPoint);
        if (!node.fileSystem) node.fileSystem = mount.fileSystem;
    }
}

void BlockDevices::describe(BlockDevice& device) {
    const fs::path entry = root_ / "sys/block" / device.node.name;
    std::error_code linkError;
    const bool isLink = fs::is_symlink(entry, linkError);
    const std::string& name = device.node.name;
    const std::string path = device.path.string();

    const fs::path hardware = entry / "device";
    auto model = readAttribute(hardware / "model");
    if (!model) model = readAttribute(hardware / "name");  // memory cards
    const auto vendor = readAttribute(hardware / "vendor");
    if (model) {
        std::string full = collapsedBlanks(*model);
        // SCSI vendor fields say "ATA" for every SATA disk, which names nothing.
        if (vendor && *vendor != "ATA" && !full.starts_with(collapsedBlanks(*vendor)))
            full = collapsedBlanks(*vendor) + " " + full;
        device.model = full;
    }
    device.firmware = readAttribute(hardware / "firmware_rev");
    if (!device.firmware) device.firmware = readAttribute(hardware / "rev");

    // udev's database fills what sysfs does not say.
    std::map<std::string, std::string> udev;
    if (!device.node.deviceNumber.empty())
        if (const auto record = readText(root_ / "run/udev/data" / ("b" + device.node.deviceNumber)))
            udev = parseUdevRecord(*record);
    const auto property = [&](const char* key) -> std::optional<std::string> {
        const auto found = udev.find(key);
        if (found == udev.end() || found->second.empty()) return std::nullopt;
        return found->second;
    };
    if (!device.model) {
        if (const auto encoded = property("ID_MODEL_ENC"))
            device.model = decodedUdevText(*encoded);
        else if (auto plain = property("ID_MODEL")) {
            std::replace(plain->begin(), plain->end(), '_', ' ');
            device.model = collapsedBlanks(*plain);
        }
    }
    if (!device.firmware) device.firmware = property("ID_REVISION");

    if (name.starts_with("nvme") || contains(path, "/nvme/"))
        device.protocol = "NVMe";
    else if (contains(path, "/usb"))
        device.protocol = "USB";
    else if (contains(path, "/virtio"))
        device.protocol = "VirtIO";
    else if (name.starts_with("mmcblk"))
        device.protocol = readAttribute(hardware / "type").value_or("SD/MMC");
    else if (contains(path, "/end_device-") || contains(path, "/sas_"))
        device.protocol = "SAS";
    else if (contains(path, "/ata")) {
        // Parallel ATA links have no SATA speed.
        const std::size_t at = path.find("/ata");
        std::size_t end = at + 4;
        while (end < path.size() && path[end] >= '0' && path[end] <= '9') ++end;
        const std::string link = "link" + path.substr(at + 4, end - at - 4);
        const fs::path links = root_ / "sys/class/ata_link";
        device.protocol = pathExists(links) && !pathExists(links / link / "sata_spd") ? "ATA" : "SATA";
    } else if (contains(path, "/vmbus") || contains(path, "VMBUS"))
        device.protocol = "Hyper-V";
    else if (contains(path, "/xen") || contains(path, "/vbd-"))
        device.protocol = "Xen";
    else if (const auto bus = property("ID_BUS"); bus && !isLink) {
        // A recorded tree without device links: udev names the bus.
        device.protocol = *bus == "ata" ? (property("ID_ATA_SATA") == "1" ? "SATA" : "ATA")
                          : *bus == "usb"  ? "USB"
                          : *bus == "nvme" ? "NVMe"
                                           : "SCSI";
    } else if (contains(path, "/host") && contains(path, "/target")) {
        // Older kernels put no ATA port in the path: the controller's class tells.
        const PciDevice* controller = pci_.owning(device.path);
        const std::uint32_t storageClass = controller ? controller->classCode >> 8 : 0;
        device.protocol = storageClass == 0x0106 ? "SATA" : storageClass == 0x0101 ? "ATA" : "SCSI";
    }

    // A virtual disk has no model of its own; the controller's name says what it is.
    if (!device.model && device.protocol == "VirtIO")
        if (const PciDevice* controller = pci_.owning(device.path)) device.model = controller->deviceName;

    const bool virtualBus = device.protocol == "VirtIO" || device.protocol == "Xen" || device.protocol == "Hyper-V";
    // "removable" speaks of the medium (an optical disc, a memory card), not of
    // the drive, so only the bus says whether a drive sits outside the computer.
    if (device.protocol == "USB" || contains(path, "/ieee1394") || contains(path, "/firewire"))
        device.internal = false;
    else if (device.protocol)
        device.internal = true;

    auto rotational = readUnsigned(entry / "queue/rotational");
    if (!rotational)
        if (const auto rpm = property("ID_ATA_ROTATION_RATE_RPM"); rpm && parseUnsigned(*rpm))
            rotational = *parseUnsigned(*rpm) > 0 ? 1 : 0;
    if (rotational && *rotational <= 1) device.rotational = *rotational == 1;
    // A virtual disk's rotational flag is a default, not a fact about any medium.
    if (device.rotational && !virtualBus) device.solidState = !*device.rotational;
}

}  // namespace nvx::linux_source
