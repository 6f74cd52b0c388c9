// The Linux source on the machine the tests run on: the shape of the answer,
// the disks it has, and privacy.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <set>

#include "inventory/collector.h"
#include "inventory/linux_source/sysfs.h"
#include "inventory/support/fake_inventory_sources.h"

namespace nvx {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

RunReport collectHere() { return Collector::collect(StopToken(), {}); }

// Whole disks as lsblk lists them, without the kernel's own RAM-backed and
// looped devices; absent when lsblk is not installed.
std::optional<std::set<std::string>> lsblkDisks() {
    if (!fs::exists("/usr/bin/lsblk") && !fs::exists("/bin/lsblk")) return std::nullopt;
    FILE* pipe = ::popen("lsblk -d -n -o NAME,TYPE 2>/dev/null", "r");
    if (!pipe) return std::nullopt;
    std::set<std::string> names;
    char name[256];
    char type[64];
    while (std::fscanf(pipe, "%255s %63s", name, type) == 2) {
        const std::string disk = name;
        if (std::string(type) == "disk" && !disk.starts_with("zram") && !disk.starts_with("ram") &&
            !disk.starts_with("loop") && !disk.starts_with("nbd"))
            names.insert(disk);
    }
    ::pclose(pipe);
    return names;
}

TEST(LinuxHost, SectionsOfferedByTheKernelArePresent) {
    const RunReport report = collectHere();
    const json inventory = report.inventory.toJSON();
    ASSERT_TRUE(inventory.contains("SPHardwareDataType"));
    const json& hardware = inventory["SPHardwareDataType"][0];
    EXPECT_TRUE(hardware.contains("number_processors"));
    EXPECT_TRUE(hardware.contains("physical_memory_bytes"));
    const std::vector<std::pair<const char*, const char*>> interfaces = {
        {"SPMemoryDataType", "/proc/meminfo"},        {"SPPCIDataType", "/sys/bus/pci/devices"},
        {"SPEthernetDataType", "/sys/class/net"},     {"SPUSBDataType", "/sys/bus/usb/devices"},
        {"SPNVMeDataType", "/sys/class/nvme"},        {"SPAudioDataType", "/sys/class/sound"},
        {"SPFibreChannelDataType", "/sys/class/fc_host"}, {"SPStorageDataType", "/proc/self/mountinfo"}};
    for (const auto& [dataType, interface] : interfaces) {
        EXPECT_EQ(inventory.contains(dataType), fs::exists(interface)) << dataType;
        if (inventory.contains(dataType)) {
            EXPECT_TRUE(inventory[dataType].is_array()) << dataType;
        }
    }
    EXPECT_GT(report.system.memory_bytes, 0u);
    EXPECT_GT(report.system.logical_cores, 0);
    EXPECT_NE(report.system.os, "");
}

TEST(LinuxHost, DisksAreTheWholePhysicalDisksOfThisMachine) {
    const RunReport report = collectHere();
    ASSERT_TRUE(report.system.disks.has_value()) << report.warnings.front();
    std::set<std::string> ours;
    for (const DiskSummary& disk : *report.system.disks) {
        ours.insert(disk.id);
        const auto sectors = linux_source::readUnsigned(fs::path("/sys/block") / disk.id / "size");
        ASSERT_TRUE(sectors.has_value()) << disk.id;
        EXPECT_EQ(disk.bytes, *sectors * 512) << disk.id;
        EXPECT_NE(disk.connection, "") << disk.id;
        EXPECT_FALSE(disk.id.starts_with("loop") || disk.id.starts_with("zram") || disk.id.starts_with("dm-"));
    }
    if (const auto listed = lsblkDisks()) {
        EXPECT_EQ(ours, *listed);
    } else {
        GTEST_SKIP() << "lsblk is not installed; compared with /sys/block only";
    }
}

TEST(LinuxHost, NothingIdentifyingLeavesTheMachine) {
    const RunReport first = collectHere();
    const RunReport second = collectHere();
    for (const std::string& key : testing::allKeys(first.inventory.toJSON()))
        EXPECT_FALSE(testing::isIdentifyingKey(key)) << key;
    const std::string text = first.data();
    if (const auto machineId = linux_source::readAttribute("/etc/machine-id")) {
        EXPECT_EQ(text.find(*machineId), std::string::npos);
        EXPECT_EQ(text.find(machineId->substr(0, 8) + "-"), std::string::npos);
        EXPECT_EQ(first.device_id, second.device_id) << "the machine id identifies the computer across runs";
    }
    for (const auto& entry : fs::directory_iterator("/sys/class/net")) {
        const auto mac = linux_source::readAttribute(entry.path() / "address");
        if (mac && *mac != "00:00:00:00:00:00") {
            EXPECT_EQ(text.find(*mac), std::string::npos) << *mac;
        }
    }
}

}  // namespace
}  // namespace nvx
