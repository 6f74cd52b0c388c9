// Hardware changes between two inventories of one computer: recorded Linux
// trees collected before and after a change, and the edits that are no
// change at all.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "depot/hardware_changes.h"
#include "depot/hardware_profile.h"
#include "inventory/collector.h"
#include "inventory/linux_source/linux_sources.h"
#include "support/sample_reports.h"
#include "support/scratch_folder.h"

namespace nvx::depot {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> texts(const std::vector<HardwareChange>& changes) {
    std::vector<std::string> result;
    for (const auto& change : changes) result.push_back(change.text);
    return result;
}

std::vector<std::string> changesBetween(const RunReport& before, const RunReport& after) {
    // Through the stored text, as the depot compares them.
    const auto first = HardwareProfile::decoded(HardwareProfile::of(before).encoded());
    const auto second = HardwareProfile::decoded(HardwareProfile::of(after).encoded());
    EXPECT_TRUE(first && second);
    if (!first || !second) return {"profile lost"};
    EXPECT_EQ(*first, HardwareProfile::of(before));
    return texts(hardwareChanges(*first, *second));
}

// A recorded laptop (two SATA/USB disks, USB devices, a sound card, wired and
// wireless network), copied so that a test can take parts out of it.
class RecordedLaptop : public ::testing::Test {
protected:
    void SetUp() override {
        fs::copy(fs::path(NVX_TEST_FIXTURES) / "linux" / "full-systemd-laptop", root,
                 fs::copy_options::recursive | fs::copy_options::copy_symlinks);
        fs::create_directories(root / "proc/self");
        setMemoryKibibytes(2055472);  // 2 GB installed, as Linux counts it
        setMounts("/dev/sda1 / ext4 rw 0 0\n/dev/sdb1 /media/stick vfat rw 0 0\n");
    }
    void setMemoryKibibytes(std::uint64_t kibibytes) {
        std::ofstream(root / "proc/meminfo") << "MemTotal:       " << kibibytes << " kB\nMemFree:  1000 kB\n";
    }
    void setMounts(const std::string& text) { std::ofstream(root / "proc/self/mounts") << text; }
    RunReport collect() {
        InventorySources sources = linux_source::linuxInventorySources(root);
        sources.modelLookup = [](std::string_view) { return std::vector<ModelMatch>{}; };
        return Collector::collect(sources, StopToken(), {});
    }

    testing::ScratchFolder folder;
    fs::path root = folder.path() / "root";
};

TEST_F(RecordedLaptop, RemovedMemoryAndAnUnpluggedUsbDiskAreTheChanges) {
    const RunReport before = collect();
    ASSERT_TRUE(before.system.disks);
    ASSERT_EQ(before.system.disks->size(), 3u);
    // Half the memory taken out; the USB stick (its USB device and its disk) unplugged.
    setMemoryKibibytes(1010000);  // 1 GB installed
    fs::remove(root / "sys/block/sdb");
    fs::remove(root / "sys/bus/usb/devices/5-1");
    const RunReport after = collect();
    const auto changes = changesBetween(before, after);
    const std::string stickName = before.system.disks->at(1).name;
    ASSERT_EQ(changes.size(), 3u) << ::testing::PrintToString(changes);
    EXPECT_EQ(changes[0], "Память: 2 GB → 1 GB");
    EXPECT_EQ(changes[1].rfind("Диски: убран «" + stickName + "» (", 0), 0u) << changes[1];
    EXPECT_EQ(changes[2].rfind("USB: убрано «", 0), 0u) << changes[2];
    // And back in: the same changes the other way round.
    const auto back = changesBetween(after, before);
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back[0], "Память: 1 GB → 2 GB");
    EXPECT_EQ(back[1].rfind("Диски: добавлен «" + stickName + "» (", 0), 0u) << back[1];
    EXPECT_EQ(back[2].rfind("USB: добавлено «", 0), 0u) << back[2];
}

TEST_F(RecordedLaptop, RemountsFreeSpaceNewMeasurementsAndAnotherKernelAreNoChange) {
    const RunReport before = collect();
    // The stick mounted elsewhere, a kernel that keeps a little more memory
    // to itself; new benchmark values, another member order.
    setMounts("/dev/sda1 / ext4 rw 0 0\n/dev/sdb1 /run/media/user/STICK vfat rw 0 0\n");
    setMemoryKibibytes(2049100);
    RunReport after = collect();
    ASSERT_NE(before.data(), after.data()) << "the edits must show in the report";
    after.metrics = testing::sampleReport().metrics;
    nlohmann::json inventory = after.inventory.toJSON();
    for (auto& [section, items] : inventory.items())
        if (items.is_array()) std::reverse(items.begin(), items.end());
    after.inventory = JSONValue::fromJSON(inventory);
    if (after.system.disks) std::reverse(after.system.disks->begin(), after.system.disks->end());
    std::reverse(after.system.gpu.begin(), after.system.gpu.end());
    EXPECT_EQ(changesBetween(before, after), std::vector<std::string>{});
    EXPECT_EQ(HardwareProfile::of(before).encoded(), HardwareProfile::of(after).encoded());
}

HardwareProfile profile() {
    HardwareProfile made;
    made.memoryBytes = 32ULL << 30;
    made.chip = "Chip A";
    made.physicalCores = 8;
    made.logicalCores = 16;
    made.gpus = {"GPU A"};
    made.disks = std::vector<HardwareProfile::Disk>{{"SSD 1", 500'000'000'000}, {"SSD 1", 500'000'000'000}};
    made.pciDevices = HardwareProfile::Names{"Bridge", "Bridge", "Wi-Fi"};
    made.usbDevices = HardwareProfile::Names{"Hub"};
    made.networkDevices = HardwareProfile::Names{"Ethernet (eth0)"};
    made.audioDevices = HardwareProfile::Names{"PCH"};
    return made;
}

TEST(HardwareChanges, EachKindIsSaidOnceInItsOrder) {
    const HardwareProfile before = profile();
    HardwareProfile after = profile();
    after.memoryBytes = 16ULL << 30;
    after.chip = "Chip B";
    after.physicalCores = 4;
    after.logicalCores = 8;
    after.gpus = {"GPU A", "GPU B"};
    after.disks = std::vector<HardwareProfile::Disk>{{"SSD 1", 500'000'000'000}, {"SSD 1", 1'000'000'000'000}};
    after.pciDevices = HardwareProfile::Names{"Bridge", "Wi-Fi"};
    after.usbDevices = HardwareProfile::Names{"Hub", "Камера <HD>"};
    after.networkDevices = HardwareProfile::Names{};
    after.audioDevices = HardwareProfile::Names{"PCH", "USB Audio"};
    const auto changes = hardwareChanges(before, after);
    EXPECT_EQ(texts(changes), (std::vector<std::string>{
                                  "Память: 32 GB → 16 GB",
                                  "Процессор: «Chip A» → «Chip B»",
                                  "Ядра: 8 физических, 16 логических → 4 физических, 8 логических",
                                  "Графика: добавлена «GPU B»",
                                  "Диски: «SSD 1» 500,0 GB → 1,0 TB",
                                  "PCI: убрано «Bridge»",
                                  "USB: добавлено «Камера <HD>»",
                                  "Сеть: убран адаптер «Ethernet (eth0)»",
                                  "Звук: добавлено «USB Audio»",
                              }));
    std::vector<std::string> kinds;
    for (const auto& change : changes) kinds.emplace_back(changeKindName(change.kind));
    EXPECT_EQ(kinds,
              (std::vector<std::string>{"memory", "chip", "cores", "gpu", "disk", "pci", "usb", "network", "audio"}));
    EXPECT_TRUE(hardwareChanges(before, before).empty());
}

TEST(HardwareChanges, DisksAreMatchedByNameAndSize) {
    HardwareProfile before = profile();
    HardwareProfile after = profile();
    // One of two equal disks gone, another one added.
    after.disks = std::vector<HardwareProfile::Disk>{{"HDD 2", 2'000'000'000'000}, {"SSD 1", 500'000'000'000}};
    EXPECT_EQ(texts(hardwareChanges(before, after)),
              (std::vector<std::string>{"Диски: добавлен «HDD 2» (2,0 TB)", "Диски: убран «SSD 1» (500,0 GB)"}));
}

TEST(HardwareChanges, WhatOneSideDoesNotKnowIsNoChange) {
    const HardwareProfile known = profile();
    HardwareProfile unknown;  // nothing read: no memory, chip, cores, sections
    EXPECT_TRUE(hardwareChanges(known, unknown).empty());
    EXPECT_TRUE(hardwareChanges(unknown, known).empty());
    HardwareProfile noUsb = profile();
    noUsb.usbDevices.reset();  // the section was not read, not emptied
    EXPECT_TRUE(hardwareChanges(known, noUsb).empty());
}

TEST(HardwareProfile, MemoryIsTheInstalledSizeAndBadTextsAreNoProfile) {
    RunReport report = testing::sampleReport();
    for (std::uint64_t bytes : {16ULL << 30, (16ULL << 30) - (600ULL << 20), (16ULL << 30) + (8ULL << 20)}) {
        report.system.memory_bytes = bytes;
        EXPECT_EQ(HardwareProfile::of(report).memoryBytes, 16ULL << 30) << bytes;
    }
    report.system.memory_bytes = 0;
    EXPECT_EQ(HardwareProfile::of(report).memoryBytes, 0u);
    report.system.memory_bytes = 1010000ULL * 1024;  // 1 GB as Linux counts it
    EXPECT_EQ(HardwareProfile::of(report).memoryBytes, 1ULL << 30);
    report.system.memory_bytes = 480ULL << 20;  // a small virtual machine of 512 MB
    EXPECT_EQ(HardwareProfile::of(report).memoryBytes, 512ULL << 20);
    for (const char* text : {"", "{}", "not json", "[1,2]", R"({"memory": "x"})"})
        EXPECT_FALSE(HardwareProfile::decoded(text)) << text;
}

TEST(HardwareProfile, MacSectionsNestTheirDevices) {
    RunReport report = testing::sampleReport();
    report.inventory = JSONValue::parse(R"({
        "SPUSBDataType": [{"_name": "USB31Bus", "_items": [{"_name": "Hub", "_items": [{"_name": "Keyboard"}]}]}],
        "SPAudioDataType": [{"_name": "coreaudio_device", "_items": [{"_name": "MacBook Pro Speakers"}]}]
    })");
    const HardwareProfile profile = HardwareProfile::of(report);
    EXPECT_EQ(profile.usbDevices, (HardwareProfile::Names{"Hub", "Keyboard", "USB31Bus"}));
    EXPECT_EQ(profile.audioDevices, (HardwareProfile::Names{"MacBook Pro Speakers", "coreaudio_device"}));
    EXPECT_FALSE(profile.pciDevices);
    EXPECT_FALSE(profile.networkDevices);
}

}  // namespace
}  // namespace nvx::depot
