#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <set>
#include <sstream>

#include "core/errors.h"
#include "core/files.h"
#include "inventory/collector.h"
#include "inventory/linux_source/block_devices.h"
#include "inventory/linux_source/edid.h"
#include "inventory/linux_source/firmware_text.h"
#include "inventory/linux_source/hardware_section.h"
#include "inventory/linux_source/id_database.h"
#include "inventory/linux_source/linux_sources.h"
#include "inventory/linux_source/machine_identity.h"
#include "inventory/linux_source/sysfs.h"
#include "inventory/support/fake_inventory_sources.h"
#include "inventory/support/fake_mac_tools.h"

namespace nvx::linux_source {
namespace {

using nlohmann::json;
using nvx::testing::linuxFixture;

// ---- pure parsers -------------------------------------------------------------

const char* const pciIdsFragment =
    "# comment line\n"
    "8086  Intel Corporation\n"
    "\t0166  3rd Gen Core processor Graphics Controller\n"
    "\t\t17aa 21f9  ThinkPad T430\n"
    "\t1e03  7 Series Chipset Family 6-port SATA Controller [AHCI mode]\n"
    "10de  NVIDIA Corporation\n"
    "\t15f8  GP100GL [Tesla P100 PCIe 16GB]\n"
    "bad!  Not a vendor\n"
    "\tffff  belongs to nothing\n"
    "1af4  Red Hat, Inc.\n"
    "\t1042  Virtio 1.0 block device\n"
    "C 01  Mass storage controller\n"
    "\t06  SATA controller\n"
    "\t\t01  AHCI 1.0\n"
    "C 03  Display controller\n"
    "\t00  VGA compatible controller\n";

TEST(IdDatabase, KeepsOnlyTheNamesAskedFor) {
    std::istringstream text(pciIdsFragment);
    IdQuery query;
    query.vendors = {0x8086, 0x1af4};
    query.devices = {0x80860166, 0x1af41042};
    query.subsystems = {0x8086016617aa21f9ULL};
    const IdNames names = parseIdDatabase(text, query);
    EXPECT_EQ(names.vendor(0x8086), "Intel Corporation");
    EXPECT_EQ(names.device(0x8086, 0x0166), "3rd Gen Core processor Graphics Controller");
    EXPECT_EQ(names.subsystem(0x8086, 0x0166, 0x17aa, 0x21f9), "ThinkPad T430");
    EXPECT_EQ(names.device(0x1af4, 0x1042), "Virtio 1.0 block device");
    EXPECT_FALSE(names.vendor(0x10de)) << "not asked for";
    EXPECT_FALSE(names.device(0x8086, 0x1e03)) << "not asked for";
    EXPECT_EQ(names.className(0x01, 0x06), "SATA controller");
    EXPECT_EQ(names.className(0x03, 0x80), "Display controller") << "unknown subclass: the base class";
    EXPECT_FALSE(names.className(0x0c, 0x03));
}

TEST(IdDatabase, UsbTablesAfterTheVendorsAreNotDevices) {
    std::istringstream text(
        "046d  Logitech, Inc.\n"
        "\tc03e  Premium Optical Wheel Mouse (M-BT58)\n"
        "C 09  Hub\n"
        "\t00  Unused\n"
        "AT 0409  English (US)\n"
        "HID 21  HID\n"
        "\tc03e  not a device of Logitech\n"
        "L 0409  English\n");
    IdQuery query;
    query.vendors = {0x046d};
    query.devices = {0x046dc03e};
    const IdNames names = parseIdDatabase(text, query);
    EXPECT_EQ(names.device(0x046d, 0xc03e), "Premium Optical Wheel Mouse (M-BT58)");
    EXPECT_EQ(names.vendors.size(), 1u);
    EXPECT_EQ(names.devices.size(), 1u);
}

TEST(IdDatabase, MissingFileGivesNoNames) {
    IdQuery query;
    query.vendors = {0x8086};
    EXPECT_TRUE(lookUpIdDatabase({"/nonexistent/pci.ids"}, query).vendors.empty());
}

TEST(SysfsText, NumbersParseStrictlyAndOddValuesAreUnknown) {
    EXPECT_EQ(parseUnsigned("536870912\n"), 536870912u);
    EXPECT_EQ(parseUnsigned("0x030000", 16), 0x030000u);
    EXPECT_EQ(parseUnsigned("8086", 16), 0x8086u);
    for (const char* odd : {"", "-1", "12abc", "1.5", "99999999999999999999999", "0x"})
        EXPECT_FALSE(parseUnsigned(odd)) << odd;
    EXPECT_FALSE(readUnsigned("/nonexistent/size"));
}

TEST(SysfsText, NaturalOrderAndKeyValues) {
    std::vector<std::string> names = {"nvme10n1", "nvme2n1", "sdb", "sda", "nvme2n10", "nvme2n2"};
    std::sort(names.begin(), names.end(), [](const auto& a, const auto& b) { return naturalLess(a, b); });
    EXPECT_EQ(names, (std::vector<std::string>{"nvme2n1", "nvme2n2", "nvme2n10", "nvme10n1", "sda", "sdb"}));

    const auto values = parseKeyValueLines("# comment\nNAME=\"Debian GNU/Linux\"\nID=debian\n=orphan\nbroken\n");
    EXPECT_EQ(values.at("NAME"), "Debian GNU/Linux");
    EXPECT_EQ(values.at("ID"), "debian");
    EXPECT_EQ(values.size(), 2u);
    EXPECT_EQ(operatingSystemText("PRETTY_NAME=\"Ubuntu 24.04 LTS\"\n", "6.8.0-31-generic\n"),
              "Ubuntu 24.04 LTS, ядро Linux 6.8.0-31-generic");
    EXPECT_EQ(operatingSystemText("", ""), "Linux");
    EXPECT_EQ(operatingSystemText("NAME=\"Deb\xFE\"\n", "6.1\xFF-amd64\n"), "Deb\uFFFD, ядро Linux 6.1\uFFFD-amd64");
}

TEST(MountTables, EscapesAndDeviceNumbers) {
    const auto mounts = parseMountInfo(
        "26 1 254:0 / / rw,relatime - ext4 /dev/vda rw,discard\n"
        "40 26 8:17 / /media/My\\040Disk ro,nosuid shared:5 - vfat /dev/sdb1 ro\n"
        "short line\n"
        "41 26 0:44 / /tmp rw - tmpfs tmpfs rw\n");
    ASSERT_EQ(mounts.size(), 3u);
    EXPECT_EQ(mounts[0].deviceNumber, "254:0");
    EXPECT_FALSE(mounts[0].readOnly);
    EXPECT_EQ(mounts[1].mountPoint, "/media/My Disk");
    EXPECT_EQ(mounts[1].fileSystem, "vfat");
    EXPECT_EQ(mounts[1].source, "/dev/sdb1");
    EXPECT_TRUE(mounts[1].readOnly);

    const auto plain = parseMounts("/dev/nvme0n1p2 /boot ext4 rw,relatime 0 0\n");
    ASSERT_EQ(plain.size(), 1u);
    EXPECT_EQ(plain[0].source, "/dev/nvme0n1p2");
    EXPECT_TRUE(plain[0].deviceNumber.empty());

    const auto udev = parseUdevRecord(
        "S:disk/by-label/DATA\nE:ID_FS_LABEL=DATA\nE:ID_SERIAL=X_123\nE:ID_FS_UUID=1-2\nE:ID_FS_TYPE=ext4\nG:systemd\n");
    EXPECT_EQ(udev.at("ID_FS_LABEL"), "DATA");
    EXPECT_EQ(udev.size(), 2u) << "serials and UUIDs are never kept";
}

TEST(HardwareText, ProcessorNamesAndMachineIds) {
    EXPECT_EQ(processorName("processor\t: 0\nmodel name\t: Intel(R) Core(TM)  i7-1270P\n\nprocessor\t: 1\n"),
              "Intel(R) Core(TM) i7-1270P");
    EXPECT_EQ(processorName("processor : 0\nCPU implementer : 0x41\nCPU part : 0xd0c\n"), "ARM Neoverse-N1");
    EXPECT_EQ(processorName("processor : 0\nCPU implementer : 0x51\nCPU part : 0x001\n"), "ARM 0x51/0x001");
    EXPECT_FALSE(processorName(""));
    // Firmware copies names byte for byte; the report's writer takes only UTF-8.
    EXPECT_EQ(processorName("processor : 0\nmodel name : Intel\xFF Core \xE2\x84\xA2 \xC3\n"),
              "Intel\uFFFD Core \u2122 \uFFFD");
    EXPECT_EQ(processorName("processor : 0\nCPU implementer : 0x\xFE\nCPU part : 0x001\n"), "ARM 0x\uFFFD/0x001");

    EXPECT_EQ(machineIdAsUUID("3d1219c7c4c5404aaa1f6d2a48adfda4\n"), "3d1219c7-c4c5-404a-aa1f-6d2a48adfda4");
    EXPECT_FALSE(machineIdAsUUID("uninitialized\n"));
    EXPECT_FALSE(machineIdAsUUID("3d1219c7c4c5404a"));
    EXPECT_TRUE(isPlaceholderText("To Be Filled By O.E.M."));
    EXPECT_FALSE(isPlaceholderText("ThinkPad T60p"));
}

TEST(MonitorIdentity, NameMakerAndYearButNeverTheSerial) {
    std::string edid(128, '\0');
    const unsigned char header[] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
    std::copy(std::begin(header), std::end(header), edid.begin());
    edid[8] = 0x10;  // "DEL": D=4, E=5, L=12 -> 0 00100 00101 01100
    edid[9] = static_cast<char>(0xAC);
    edid[17] = 30;  // 2020
    const auto descriptor = [&](std::size_t offset, unsigned char tag, const std::string& text) {
        edid[offset + 3] = static_cast<char>(tag);
        for (std::size_t i = 0; i < 13; ++i) edid[offset + 5 + i] = i < text.size() ? text[i] : (i == text.size() ? '\n' : ' ');
    };
    descriptor(54, 0xFF, "SERIAL123");
    descriptor(72, 0xFC, "DELL U2720Q");
    const MonitorIdentity identity = parseEdid(edid);
    EXPECT_EQ(identity.name, "DELL U2720Q");
    EXPECT_EQ(identity.manufacturer, "DEL");
    EXPECT_EQ(identity.yearOfManufacture, 2020);
    EXPECT_FALSE(parseEdid(edid.substr(0, 100)).name);
    EXPECT_FALSE(parseEdid(std::string(128, 'x')).name);
}

}  // namespace
}  // namespace nvx::linux_source

namespace nvx::linux_source {
namespace {

// ---- recorded machines --------------------------------------------------------

RunReport collectTree(const std::string& tree) {
    InventorySources sources = linuxInventorySources(linuxFixture(tree));
    sources.modelLookup = [](std::string_view) { return std::vector<ModelMatch>{}; };
    return Collector::collect(sources, StopToken(), {});
}

json section(const RunReport& report, const char* dataType) {
    const json inventory = report.inventory.toJSON();
    return inventory.contains(dataType) ? inventory[dataType] : json();
}

std::vector<std::string> diskIds(const RunReport& report) {
    std::vector<std::string> ids;
    for (const DiskSummary& disk : report.system.disks.value()) ids.push_back(disk.id);
    return ids;
}

const std::string missingTail = ": macOS не предоставила раздел. Это не доказывает отсутствие оборудования.";

bool warns(const RunReport& report, const std::string& title) {
    return std::find(report.warnings.begin(), report.warnings.end(), title + missingTail) != report.warnings.end();
}

TEST(LinuxRecordedMachines, ThinkPadLaptopWithDmiAtaUsbAndSound) {
    const RunReport report = collectTree("full-systemd-laptop");
    EXPECT_EQ(report.system.model, "8741C4G");
    const json hardware = section(report, "SPHardwareDataType")[0];
    EXPECT_EQ(hardware["machine_name"], "LENOVO ThinkPad T60p");
    EXPECT_EQ(hardware["firmware_version"], "7IET31WW (1.12 )");  // as the firmware spells it
    // The machine id identified the machine; the filter removed it from the section.
    EXPECT_EQ(std::count(report.warnings.begin(), report.warnings.end(),
                         "Системный идентификатор недоступен: повторные описи могут отображаться отдельными устройствами."),
              0);
    EXPECT_FALSE(hardware.contains("platform_UUID"));

    // Loop devices and the RAID set are no drives; the DVD drive is an internal one with a removable medium.
    EXPECT_EQ(diskIds(report), (std::vector<std::string>{"sda", "sdb", "sr0"}));
    const auto& disks = *report.system.disks;
    EXPECT_EQ(disks[0].name, "ST910021AS");
    EXPECT_EQ(disks[0].bytes, 100030242816u);
    EXPECT_EQ(disks[0].connection, "SATA");
    EXPECT_EQ(disks[0].internal, true);
    EXPECT_EQ(disks[1].connection, "USB");
    EXPECT_EQ(disks[1].internal, false);
    EXPECT_EQ(disks[1].name, "Generic USB Flash Drive");
    EXPECT_EQ(disks[2].connection, "ATA");
    EXPECT_EQ(disks[2].internal, true);

    const json network = section(report, "SPEthernetDataType");
    ASSERT_EQ(network.size(), 3u);  // with the old mac80211 master interface wmaster0
    EXPECT_EQ(network[0]["_name"], "eth0");
    EXPECT_EQ(network[0]["driver"], "e1000e");
    EXPECT_EQ(network[1]["type"], "wireless");
    EXPECT_EQ(section(report, "SPAudioDataType").size(), 1u);
    EXPECT_EQ(section(report, "SPUSBDataType").size(), 10u);
    EXPECT_TRUE(warns(report, "NVMe"));
    EXPECT_TRUE(warns(report, "Fibre Channel"));
    EXPECT_FALSE(warns(report, "USB"));
}

TEST(LinuxRecordedMachines, DesktopWithThreeSataDisksAndDeviceMapper) {
    const RunReport report = collectTree("full-ghw-ryzen5-1600-desktop");
    EXPECT_EQ(diskIds(report), (std::vector<std::string>{"sda", "sdb", "sdc"}));
    const auto& disks = *report.system.disks;
    EXPECT_EQ(disks[0].bytes, 256060514304u);
    EXPECT_EQ(disks[0].solid_state, true);
    EXPECT_EQ(disks[1].solid_state, false);
    EXPECT_EQ(disks[1].connection, "SATA");
    EXPECT_EQ(report.system.chip, "AMD Ryzen 5 1600 Six-Core Processor");
    // No ID database in the tree: the graphics card is named by its numbers.
    EXPECT_EQ(report.system.gpu, std::vector<std::string>{"1002:6758"});
    EXPECT_EQ(report.system.logical_cores, 12);
}

TEST(LinuxRecordedMachines, LaptopWithNvmeLuksAndZram) {
    const RunReport report = collectTree("full-ghw-thinkpad-x1-carbon-gen10");
    EXPECT_EQ(diskIds(report), std::vector<std::string>{"nvme0n1"});
    const DiskSummary& disk = report.system.disks->front();
    EXPECT_EQ(disk.connection, "NVMe");
    EXPECT_EQ(disk.solid_state, true);
    // The root file system lives on an encrypted volume that the recording does not link to its partition.
    EXPECT_EQ(disk.volumes, (std::vector<std::string>{"/boot/efi", "/boot"}));
    EXPECT_EQ(report.system.physical_cores, 12);
}

TEST(LinuxRecordedMachines, ServerWithUdevLabelsNvmeAndFibreChannel) {
    const RunReport report = collectTree("full-node-exporter");
    EXPECT_EQ(report.system.model, "PowerEdge R6515");
    const json fibre = section(report, "SPFibreChannelDataType");
    ASSERT_EQ(fibre.size(), 2u);
    EXPECT_EQ(fibre[0]["_name"], "host0");
    EXPECT_TRUE(fibre[0].contains("speed"));
    const json nvme = section(report, "SPNVMeDataType");
    ASSERT_FALSE(nvme.empty());
    EXPECT_EQ(nvme[0]["_name"], "Samsung SSD 970 PRO 512GB");
}

TEST(LinuxRecordedMachines, UsbDevicesAndMonitorsOfAThinkPad) {
    const RunReport report = collectTree("full-usbid-thinkpad-ivybridge");
    const json usb = section(report, "SPUSBDataType");
    std::set<std::string> names;
    for (const auto& device : usb) names.insert(device["_name"].get<std::string>());
    EXPECT_TRUE(names.contains("FT232R USB UART")) << usb.dump(1);
    for (const auto& device : usb) EXPECT_FALSE(device.contains("serial"));
}

// Every identifier file of a recorded tree: none of their values may show
// anywhere in the report, because they are never read in the first place.
std::vector<std::string> identifierValues(const fs::path& root) {
    static const std::set<std::string> identifierFiles = {
        "serial", "product_serial", "board_serial", "chassis_serial", "product_uuid", "serial_number", "wwid",
        "eui",    "address",        "unique_id",    "port_name",      "node_name",    "subsysnqn",     "fabric_name"};
    std::vector<std::string> values;
    for (auto it = fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied);
         it != fs::recursive_directory_iterator(); ++it) {
        if (it->is_symlink() || !it->is_regular_file() || !identifierFiles.contains(it->path().filename().string()))
            continue;
        const auto value = readAttribute(it->path());
        // Short values and PCI addresses (which USB root hubs give as their "serial") identify nothing.
        if (!value || value->size() < 8 || value->find("0000:") == 0 || value->starts_with("Not ") ||
            *value == "00:00:00:00:00:00")
            continue;
        values.push_back(*value);
    }
    return values;
}

TEST(LinuxRecordedMachines, NoIdentifierIsReadOrKept) {
    for (const char* tree : {"full-systemd-laptop", "full-ghw-ryzen5-1600-desktop", "full-ghw-thinkpad-x1-carbon-gen10",
                             "full-node-exporter", "full-usbid-thinkpad-ivybridge"}) {
        const RunReport report = collectTree(tree);
        for (const std::string& key : nvx::testing::allKeys(report.inventory.toJSON()))
            EXPECT_FALSE(nvx::testing::isIdentifyingKey(key)) << tree << ": " << key;
        const std::string text = report.data();
        const auto values = identifierValues(linuxFixture(tree));
        for (const std::string& value : values) EXPECT_EQ(text.find(value), std::string::npos) << tree << ": " << value;
    }
}

TEST(LinuxSource, SectionsWithoutAKernelInterfaceAreLeftOutAndEmptyOnesKept) {
    const fs::path root = fs::temp_directory_path() / ("nvx-test-tree-" + std::to_string(::getpid()));
    fs::create_directories(root / "sys/bus/pci/devices");
    fs::create_directories(root / "sys/class/net");
    fs::create_directories(root / "proc");
    std::ofstream(root / "proc/cpuinfo") << "processor\t: 0\nmodel name\t: Test CPU\n";
    LinuxSystemProfiler profiler(root);
    const auto types = profiler.availableDataTypes(StopToken());
    EXPECT_EQ(types, (std::set<std::string>{"SPHardwareDataType", "SPDisplaysDataType", "SPPCIDataType",
                                            "SPEthernetDataType"}));
    const json tree = profiler.sections({"SPHardwareDataType", "SPPCIDataType", "SPEthernetDataType", "SPUSBDataType"},
                                        StopToken());
    EXPECT_EQ(tree["SPPCIDataType"], json::array());
    EXPECT_EQ(tree["SPEthernetDataType"], json::array());
    EXPECT_FALSE(tree.contains("SPUSBDataType")) << "asked for, but the kernel does not offer it";
    EXPECT_FALSE(tree.contains("SPDisplaysDataType")) << "offered, but not asked for";
    EXPECT_EQ(tree["SPHardwareDataType"][0]["chip_type"], "Test CPU");

    StopToken stopped;
    stopped.cancel();
    EXPECT_THROW(profiler.sections({"SPHardwareDataType"}, stopped), CancellationError);
    fs::remove_all(root);
}

TEST(LinuxSource, UdevFillsWhatSysfsDoesNotSay) {
    const fs::path root = fs::temp_directory_path() / ("nvx-test-udev-" + std::to_string(::getpid()));
    fs::create_directories(root / "sys/block/sdz/queue");
    fs::create_directories(root / "run/udev/data");
    std::ofstream(root / "sys/block/sdz/dev") << "8:0\n";
    std::ofstream(root / "sys/block/sdz/size") << "1000\n";
    fs::copy_file(linuxFixture("full-node-exporter/run/udev/data/b8:0"), root / "run/udev/data/b8:0");
    PciCatalog pci(root);
    BlockDevices blocks(root, pci);
    const BlockDevice* disk = blocks.find("sdz");
    ASSERT_NE(disk, nullptr);
    EXPECT_TRUE(disk->physical);
    EXPECT_EQ(disk->model, "TOSHIBA KSDB4U86");
    EXPECT_EQ(disk->protocol, "SATA");
    EXPECT_EQ(disk->solidState, false) << "7200 rpm";
    EXPECT_EQ(disk->node.bytes, 512000u);
    fs::remove_all(root);
}

TEST(LinuxSource, PciNamesComeFromTheDatabaseInOnePass) {
    const fs::path database = fs::temp_directory_path() / ("nvx-test-pci-" + std::to_string(::getpid()) + ".ids");
    std::ofstream(database) << "1002  Advanced Micro Devices, Inc. [AMD/ATI]\n"
                               "\t6758  Turks XT [Radeon HD 6670/7670]\n"
                               "C 03  Display controller\n\t00  VGA compatible controller\n";
    PciCatalog catalog(linuxFixture("full-ghw-ryzen5-1600-desktop"), {database});
    const auto& devices = catalog.devices();
    const auto gpu = std::find_if(devices.begin(), devices.end(), [](const PciDevice& d) { return d.deviceId == 0x6758; });
    ASSERT_NE(gpu, devices.end());
    EXPECT_EQ(gpu->deviceName, "Turks XT [Radeon HD 6670/7670]");
    EXPECT_EQ(gpu->vendorName, "Advanced Micro Devices, Inc. [AMD/ATI]");
    EXPECT_EQ(gpu->className, "VGA compatible controller");
    // A device of a known maker missing from the database keeps the maker's name.
    const auto audio = std::find_if(devices.begin(), devices.end(), [](const PciDevice& d) { return d.deviceId == 0xaa90; });
    ASSERT_NE(audio, devices.end());
    EXPECT_EQ(audio->deviceName, "Advanced Micro Devices, Inc. [AMD/ATI], устройство aa90");
    fs::remove(database);
}

}  // namespace
}  // namespace nvx::linux_source
