#include <gtest/gtest.h>

#include <sstream>

#include "core/files.h"
#include "inventory/collector.h"
#include "inventory/linux_source/block_devices.h"
#include "inventory/linux_source/edid.h"
#include "inventory/linux_source/hardware_section.h"
#include "inventory/linux_source/id_database.h"
#include "inventory/linux_source/linux_sources.h"
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

    const auto udev = parseUdevRecord("S:disk/by-label/DATA\nE:ID_FS_LABEL=DATA\nE:ID_FS_TYPE=ext4\nG:systemd\n");
    EXPECT_EQ(udev.at("ID_FS_LABEL"), "DATA");
    EXPECT_EQ(udev.size(), 2u);
}

TEST(HardwareText, ProcessorNamesAndMachineIds) {
    EXPECT_EQ(processorName("processor\t: 0\nmodel name\t: Intel(R) Core(TM)  i7-1270P\n\nprocessor\t: 1\n"),
              "Intel(R) Core(TM) i7-1270P");
    EXPECT_EQ(processorName("processor : 0\nCPU implementer : 0x41\nCPU part : 0xd0c\n"), "ARM Neoverse-N1");
    EXPECT_EQ(processorName("processor : 0\nCPU implementer : 0x51\nCPU part : 0x001\n"), "ARM 0x51/0x001");
    EXPECT_FALSE(processorName(""));

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
