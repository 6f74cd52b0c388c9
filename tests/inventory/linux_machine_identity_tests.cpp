// Which identity and model name a Linux machine gets, on trees made by hand.
#include <sys/stat.h>

#include <algorithm>
#include <string>

#include <gtest/gtest.h>

#include "inventory/collector.h"
#include "inventory/linux_source/linux_sources.h"
#include "inventory/privacy.h"
#include "inventory/support/made_tree.h"

namespace nvx::linux_source {
namespace {

using testing::MadeTree;

const std::string identifierWarning =
    "Системный идентификатор недоступен: повторные описи могут отображаться отдельными устройствами.";

RunReport collectMadeTree(const MadeTree& tree) {
    InventorySources sources = linuxInventorySources(tree.root());
    sources.modelLookup = [](std::string_view) { return std::vector<ModelMatch>{}; };
    return Collector::collect(sources, StopToken(), {});
}

bool warns(const RunReport& report, const std::string& warning) {
    return std::find(report.warnings.begin(), report.warnings.end(), warning) != report.warnings.end();
}

// One computer seen by root (the firmware's product UUID readable), by a
// normal user (it is not) and on firmware without one: the same identifier
// every time, derived from the machine id.
TEST(LinuxMachineIdentity, EveryUserOfOneComputerGetsTheSameIdentifier) {
    MadeTree asRoot, asUser, withoutFirmwareUUID;
    for (const MadeTree* tree : {&asRoot, &asUser, &withoutFirmwareUUID}) {
        tree->write("etc/machine-id", "3d1219c7c4c5404aaa1f6d2a48adfda4\n");
        tree->write("sys/class/dmi/id/product_name", "ThinkPad T60p\n");
    }
    asRoot.write("sys/class/dmi/id/product_uuid", "4c4c4544-0042-3510-8052-b7c04f4e3232\n");
    asUser.write("sys/class/dmi/id/product_uuid", "4c4c4544-0042-3510-8052-b7c04f4e3232\n");
    ::chmod((asUser.root() / "sys/class/dmi/id/product_uuid").c_str(), 0400);  // as the kernel shows it

    const std::string expected = deviceIdentifier(std::string("3d1219c7-c4c5-404a-aa1f-6d2a48adfda4"));
    for (const MadeTree* tree : {&asRoot, &asUser, &withoutFirmwareUUID}) {
        const RunReport report = collectMadeTree(*tree);
        EXPECT_EQ(report.device_id, expected);
        EXPECT_FALSE(warns(report, identifierWarning));
    }
}

TEST(LinuxMachineIdentity, DBusCopyOfTheMachineIdElseAWarnedRandomIdentifier) {
    MadeTree dbus;
    dbus.write("var/lib/dbus/machine-id", "3D1219C7C4C5404AAA1F6D2A48ADFDA4\n");
    EXPECT_EQ(collectMadeTree(dbus).device_id, deviceIdentifier(std::string("3d1219c7-c4c5-404a-aa1f-6d2a48adfda4")));

    MadeTree firmwareOnly;
    firmwareOnly.write("sys/class/dmi/id/product_uuid", "4c4c4544-0042-3510-8052-b7c04f4e3232\n");
    firmwareOnly.write("etc/machine-id", "uninitialized\n");
    const RunReport first = collectMadeTree(firmwareOnly);
    EXPECT_TRUE(warns(first, identifierWarning));
    EXPECT_NE(first.device_id, collectMadeTree(firmwareOnly).device_id);
}

// The hardware section and the kernel's "hw.model" answer agree: a firmware
// placeholder is no model name in either.
TEST(LinuxFirmwareModel, PlaceholdersNeverBecomeTheModel) {
    MadeTree tree;
    tree.write("etc/machine-id", "3d1219c7c4c5404aaa1f6d2a48adfda4\n");
    tree.write("sys/class/dmi/id/sys_vendor", "System manufacturer\n");
    tree.write("sys/class/dmi/id/product_name", "System Product Name\n");
    const RunReport report = collectMadeTree(tree);
    EXPECT_EQ(report.system.model, "Нет данных");
    EXPECT_TRUE(
        warns(report, "Нет данных: модель пока отсутствует во встроенном справочнике. Название и год не определены."));
    EXPECT_EQ(report.data().find("System Product Name"), std::string::npos);
    EXPECT_EQ(report.data().find("System manufacturer"), std::string::npos);
}

}  // namespace
}  // namespace nvx::linux_source
