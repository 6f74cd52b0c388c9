#if defined(__linux__)

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "inventory/support/made_tree.h"
#include "inventory/sysctl.h"

namespace nvx {
namespace {

namespace fs = std::filesystem;

const fs::path fixtures = fs::path(NVX_TEST_FIXTURES) / "linux";

struct Machine {
    const char* tree;
    std::optional<std::string> model;
    std::optional<std::string> brand;
    std::int64_t logical;
    std::int64_t physical;
};

// Trees captured on real machines (see tests/fixtures/linux/SOURCES.md).
TEST(SysctlOnLinuxTrees, AnswersFromCapturedMachines) {
    const Machine machines[] = {
        // Hybrid laptop CPU: 8 E-cores in clusters, 4 P-cores with two threads.
        {"ghw-thinkpad-x1-carbon-gen10", std::nullopt, "12th Gen Intel(R) Core(TM) i7-1270P", 16, 12},
        {"ghw-xeon-l5640-2socket-server", std::nullopt, "Intel(R) Xeon(R) CPU           L5640  @ 2.27GHz", 24, 12},
        // Two of four CPUs offline, each online one in its own package.
        {"ghw-kvm-guest-offline-cpus", std::nullopt, "Intel Xeon Processor (Skylake, IBRS)", 2, 2},
        // 64-bit ARM: no "model name", only implementer and part numbers.
        {"ghw-arm64-aws-neoverse-n1", std::nullopt, "ARM Neoverse-N1", 1, 1},
        // DMI through the class link; no /proc/cpuinfo at all.
        {"systemd-laptop", "8741C4G", std::nullopt, 2, 2},
    };
    for (const auto& machine : machines) {
        SCOPED_TRACE(machine.tree);
        const auto root = fixtures / machine.tree;
        ASSERT_TRUE(fs::is_directory(root));
        EXPECT_EQ(sysctlStringAt(root, "hw.model"), machine.model);
        EXPECT_EQ(sysctlStringAt(root, "machdep.cpu.brand_string"), machine.brand);
        EXPECT_EQ(sysctlIntAt(root, "hw.logicalcpu"), machine.logical);
        EXPECT_EQ(sysctlIntAt(root, "hw.physicalcpu"), machine.physical);
        EXPECT_EQ(sysctlStringAt(root, "hw.logicalcpu"), std::to_string(machine.logical));
        EXPECT_EQ(sysctlIntAt(root, "machdep.cpu.brand_string"), std::nullopt);
    }
}

// A hand-made tree for the cases no captured machine shows.
class SysctlOnMadeTree : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(root_.empty()); }
    void write(const std::string& relative, const std::string& bytes) { tree_.write(relative, bytes); }
    void cpu(int number, const std::string& package, const std::string& core, const std::string& cluster = "") {
        const auto folder = "sys/devices/system/cpu/cpu" + std::to_string(number) + "/topology/";
        write(folder + "physical_package_id", package + "\n");
        write(folder + "core_id", core + "\n");
        if (!cluster.empty()) write(folder + "cluster_id", cluster + "\n");
    }
    testing::MadeTree tree_;
    fs::path root_ = tree_.root();
};

TEST_F(SysctlOnMadeTree, ModelComesFromDMIElseTheDeviceTree) {
    EXPECT_EQ(sysctlStringAt(root_, "hw.model"), std::nullopt);
    write("sys/firmware/devicetree/base/model", std::string("Raspberry Pi 4 Model B Rev 1.4\0", 31));
    EXPECT_EQ(sysctlStringAt(root_, "hw.model"), "Raspberry Pi 4 Model B Rev 1.4");
    write("proc/device-tree/model", std::string("  Pine64 RockPro64 \0junk", 24));
    EXPECT_EQ(sysctlStringAt(root_, "hw.model"), "Pine64 RockPro64");
    write("sys/class/dmi/id/product_name", " \n");  // blank DMI says nothing
    EXPECT_EQ(sysctlStringAt(root_, "hw.model"), "Pine64 RockPro64");
    write("sys/class/dmi/id/product_name", "MacBookPro11,1\n");
    EXPECT_EQ(sysctlStringAt(root_, "hw.model"), "MacBookPro11,1");
    write("sys/class/dmi/id/product_name", "Caf\xE9 PC\n");  // stray Latin-1 byte
    EXPECT_EQ(sysctlStringAt(root_, "hw.model"), "Caf\xEF\xBF\xBD PC");
    // A firmware placeholder names no model: the device tree's name stands.
    write("sys/class/dmi/id/product_name", "System Product Name\n");
    EXPECT_EQ(sysctlStringAt(root_, "hw.model"), "Pine64 RockPro64");
    write("proc/device-tree/model", std::string("To be filled by O.E.M.\0", 23));
    write("sys/firmware/devicetree/base/model", "Default string");
    EXPECT_EQ(sysctlStringAt(root_, "hw.model"), std::nullopt);
}

TEST_F(SysctlOnMadeTree, BrandNamesEveryKindOfARMCoreOnce) {
    std::string cpuinfo;
    for (const char* part : {"0xd05", "0xd05", "0xd0b", "0xd0b", "0xfff"})
        cpuinfo += std::string("processor\t: 0\nCPU implementer\t: 0x41\nCPU part\t: ") + part + "\n\n";
    write("proc/cpuinfo", cpuinfo);
    EXPECT_EQ(sysctlStringAt(root_, "machdep.cpu.brand_string"), "ARM Cortex-A55, ARM Cortex-A76, ARM CPU part 0xfff");
    write("proc/cpuinfo", "Processor\t: ARMv7 Processor rev 4 (v7l)\nCPU implementer\t: 0x99\nCPU part\t: 0xc07\n");
    EXPECT_EQ(sysctlStringAt(root_, "machdep.cpu.brand_string"), "ARMv7 Processor rev 4 (v7l)");
    write("proc/cpuinfo", "processor : 0\nmodel name :\nflags : fpu\n");
    EXPECT_EQ(sysctlStringAt(root_, "machdep.cpu.brand_string"), std::nullopt);
}

TEST_F(SysctlOnMadeTree, CoreCountsNeverGuessFromOddTopology) {
    write("sys/devices/system/cpu/online", "0-3\n");
    // Two clusters that both number their cores from 0: four distinct cores.
    cpu(0, "0", "0", "0");
    cpu(1, "0", "1", "0");
    cpu(2, "0", "0", "1");
    cpu(3, "0", "1", "1");
    EXPECT_EQ(sysctlIntAt(root_, "hw.logicalcpu"), 4);
    EXPECT_EQ(sysctlIntAt(root_, "hw.physicalcpu"), 4);

    // An online CPU without topology: the core count is unknown, not smaller.
    write("sys/devices/system/cpu/online", "0-4\n");
    EXPECT_EQ(sysctlIntAt(root_, "hw.logicalcpu"), 5);
    EXPECT_EQ(sysctlIntAt(root_, "hw.physicalcpu"), std::nullopt);
    cpu(4, "0", "seven");
    EXPECT_EQ(sysctlIntAt(root_, "hw.physicalcpu"), std::nullopt);

    for (const char* list : {"", "0-", "3-1", "0,,2", "x", "0-99999999", "-1"}) {
        write("sys/devices/system/cpu/online", list);
        EXPECT_EQ(sysctlIntAt(root_, "hw.logicalcpu"), std::nullopt) << list;
        EXPECT_EQ(sysctlIntAt(root_, "hw.physicalcpu"), std::nullopt) << list;
    }
    write("sys/devices/system/cpu/online", "0,2-3\n");
    EXPECT_EQ(sysctlIntAt(root_, "hw.logicalcpu"), 3);
}

TEST_F(SysctlOnMadeTree, OtherNamesReadKernelParameters) {
    write("proc/sys/kernel/ostype", "Linux\n");
    write("proc/sys/kernel/negative", "-2147483648\n");
    write("proc/sys/kernel/too_big", "2147483648\n");
    write("proc/sys/kernel/printk", "4\t4\t1\t7\n");
    write("proc/sys/kernel/empty", "");
    write("proc/secret", "42\n");
    EXPECT_EQ(sysctlStringAt(root_, "kernel.ostype"), "Linux");
    EXPECT_EQ(sysctlIntAt(root_, "kernel.ostype"), std::nullopt);
    EXPECT_EQ(sysctlIntAt(root_, "kernel.negative"), -2147483648LL);
    EXPECT_EQ(sysctlIntAt(root_, "kernel.too_big"), std::nullopt);
    EXPECT_EQ(sysctlIntAt(root_, "kernel.printk"), std::nullopt);
    EXPECT_EQ(sysctlStringAt(root_, "kernel.empty"), std::nullopt);
    EXPECT_EQ(sysctlStringAt(root_, "kernel.unknown"), std::nullopt);
    EXPECT_EQ(sysctlStringAt(root_, "kernel"), std::nullopt);  // a folder has no value
    for (const char* name : {"", ".kernel.ostype", "kernel..ostype", "kernel.", "../secret", "kernel/../../secret"})
        EXPECT_EQ(sysctlStringAt(root_, name), std::nullopt) << name;
}

}  // namespace
}  // namespace nvx

#endif
