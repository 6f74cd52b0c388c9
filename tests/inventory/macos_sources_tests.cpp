#include <gtest/gtest.h>

#include <plist/plist.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "core/errors.h"
#include "core/files.h"
#include "inventory/collector.h"
#include "inventory/macos_tool_sources.h"
#include "inventory/privacy.h"
#include "inventory/process_runner.h"
#include "inventory/property_list.h"
#include "inventory/support/fake_inventory_sources.h"
#include "inventory/support/fake_mac_tools.h"

namespace nvx {
namespace {

using nlohmann::json;
using testing::FakeAnswer;
using testing::macosFixture;

const std::string allTwelveTypes =
    "SPHardwareDataType SPMemoryDataType SPDisplaysDataType SPStorageDataType SPNVMeDataType SPSerialATADataType "
    "SPPCIDataType SPThunderboltDataType SPUSBDataType SPEthernetDataType SPAudioDataType SPFibreChannelDataType "
    "-json -detailLevel full";
const std::string missingSectionTail = ": macOS не предоставила раздел. Это не доказывает отсутствие оборудования.";

// A Mac made of fake system_profiler and diskutil scripts.
struct FakeMac {
    testing::FakeToolFolder folder;
    std::vector<FakeAnswer> profilerAnswers;
    std::vector<FakeAnswer> diskAnswers;
    ToolTimeLimits limits;
    ToolRunner runner;  // empty: the process runner alone
    testing::FakeKernel kernel;

    // The Apple-silicon laptop unless a test says otherwise: every section
    // answered, three physical disks.
    FakeMac() {
        profilerAnswers = {
            {"-listDataTypes", macosFixture("intel-t2-macbook-pro-2025/listDataTypes.txt")},
            {allTwelveTypes, macosFixture("written-for-tests/apple-silicon-laptop.json")}};
        diskAnswers = {
            {"list -plist physical", macosFixture("written-for-tests/apple-silicon-list-physical.plist")},
            {"info -plist disk0", macosFixture("written-for-tests/apple-silicon-disk0.plist")},
            {"info -plist disk6", macosFixture("written-for-tests/apple-silicon-disk6.plist")},
            {"info -plist disk7", macosFixture("written-for-tests/apple-silicon-disk7.plist")}};
    }

    InventorySources sources() {
        InventorySources sources;
        sources.profiler =
            std::make_shared<SystemProfilerTool>(folder.tool("system_profiler", profilerAnswers), limits, runner);
        sources.diskUtility = std::make_shared<DiskUtilityTool>(folder.tool("diskutil", diskAnswers), limits, runner);
        sources.kernel = kernel.facts();
        sources.modelLookup = [](std::string_view) { return std::vector<ModelMatch>{}; };
        return sources;
    }

    RunReport collect(const StopToken& token = StopToken()) { return Collector::collect(sources(), token, {}); }

    void replaceDiskAnswer(const FakeAnswer& answer) {
        for (auto& existing : diskAnswers)
            if (existing.arguments == answer.arguments) existing = answer;
    }
};

std::string catalogWarning(const std::string& model) {
    return model + ": модель пока отсутствует во встроенном справочнике. Название и год не определены.";
}

TEST(MacToolSources, AppleSiliconLaptop) {
    FakeMac mac;
    const RunReport report = mac.collect();

    EXPECT_EQ(mac.folder.calls("system_profiler"), (std::vector<std::string>{"-listDataTypes", allTwelveTypes}));
    EXPECT_EQ(mac.folder.calls("diskutil"), (std::vector<std::string>{"list -plist physical", "info -plist disk0",
                                                                      "info -plist disk6", "info -plist disk7"}));
    EXPECT_EQ(report.system.model, "Mac14,7");
    EXPECT_EQ(report.system.chip, "Apple M2");
    EXPECT_EQ(report.system.gpu, std::vector<std::string>{"Apple M2"});
    EXPECT_EQ(report.device_id, deviceIdentifier(std::string("5A1C3E2F-7B4D-5E6F-8A9B-0C1D2E3F4A5B")));
    EXPECT_EQ(report.warnings, std::vector<std::string>{catalogWarning("Mac14,7")});

    ASSERT_TRUE(report.system.disks.has_value());
    const auto& disks = *report.system.disks;
    ASSERT_EQ(disks.size(), 3u);
    EXPECT_EQ(disks[0], (DiskSummary{"disk0", "APPLE SSD AP0512Z", 500277792768, "Apple Fabric", true, true, {}}));
    EXPECT_EQ(disks[1], (DiskSummary{"disk6", "Samsung Portable SSD T5", 1000204886016, "USB", false, true,
                                     {"Samsung_T5"}}));
    // "Yes" as text is no Boolean: unknown rather than guessed.
    EXPECT_EQ(disks[2], (DiskSummary{"disk7", "One Touch HDD", 2000398933504, "USB", std::nullopt, std::nullopt,
                                     {"One Touch"}}));

    const json inventory = report.inventory.toJSON();
    for (const std::string& key : testing::allKeys(inventory)) EXPECT_FALSE(testing::isIdentifyingKey(key)) << key;
    const std::string text = report.data();
    for (const char* identifier : {"K9WQ4T7LXJ", "5A1C3E2F-7B4D-5E6F", "00008112-000A1B2C3D4E501E"})
        EXPECT_EQ(text.find(identifier), std::string::npos) << identifier;
}

// Each tool run has its own limit: 15 s to list the data types, 90 s for the
// batched sections, 30 s for the disk list and 10 s for each disk's details.
TEST(MacToolSources, EachToolRunHasItsOwnTimeLimit) {
    FakeMac mac;
    std::vector<std::string> runs;
    mac.runner = [&](const std::string& tool, const std::vector<std::string>& arguments, const StopToken& token,
                     double seconds) {
        runs.push_back(std::filesystem::path(tool).filename().string() + " " + arguments.front() + " " +
                       std::to_string(seconds));
        return command(tool, arguments, token, seconds);
    };
    mac.collect();
    EXPECT_EQ(runs, (std::vector<std::string>{"system_profiler -listDataTypes 15.000000",
                                              "system_profiler SPHardwareDataType 90.000000", "diskutil list 30.000000",
                                              "diskutil info 10.000000", "diskutil info 10.000000",
                                              "diskutil info 10.000000"}));
}

TEST(MacToolSources, IntelDesktopWithSeveralDisks) {
    FakeMac mac;
    mac.profilerAnswers = {
        {"-listDataTypes", macosFixture("intel-t2-macbook-pro-2025/listDataTypes.txt")},
        {allTwelveTypes, macosFixture("intel-macbookpro16-1-2019/profile.json")}};
    mac.diskAnswers = {{"list -plist physical", macosFixture("written-for-tests/intel-desktop-list.plist")},
                       {"info -plist disk0", macosFixture("written-for-tests/intel-desktop-disk0.plist")},
                       {"info -plist disk1", macosFixture("written-for-tests/intel-desktop-disk1.plist")},
                       {"info -plist disk2", macosFixture("written-for-tests/intel-desktop-disk2.plist")}};
    mac.kernel.strings = {{"machdep.cpu.brand_string", "Intel(R) Core(TM) i9-9880H CPU @ 2.30GHz"}};
    const RunReport report = mac.collect();

    EXPECT_EQ(report.system.model, "MacBookPro16,1");
    EXPECT_EQ(report.system.chip, "Intel(R) Core(TM) i9-9880H CPU @ 2.30GHz");  // Intel Macs have no chip_type
    EXPECT_EQ(report.system.gpu, (std::vector<std::string>{"Intel UHD Graphics 630", "AMD Radeon Pro 5500M"}));
    // Recorded at the "mini" level: no platform UUID, and no storage section at all.
    EXPECT_EQ(report.warnings,
              (std::vector<std::string>{
                  "Системный идентификатор недоступен: повторные описи могут отображаться отдельными устройствами.",
                  "Тома и накопители" + missingSectionTail, catalogWarning("MacBookPro16,1")}));
    ASSERT_TRUE(report.system.disks.has_value());
    const auto& disks = *report.system.disks;
    ASSERT_EQ(disks.size(), 3u);
    EXPECT_EQ(disks[0], (DiskSummary{"disk0", "Samsung SSD 860 EVO 500GB", 500107862016, "SATA", true, true,
                                     {"Macintosh HD"}}));
    EXPECT_EQ(disks[1].solid_state, false);
    EXPECT_EQ(disks[1].volumes, std::vector<std::string>{"Time Machine"});
    EXPECT_EQ(disks[2].name, "SanDisk Ultra Media");  // no MediaName: the registry entry's name
    EXPECT_EQ(disks[2].internal, false);
    EXPECT_EQ(report.inventory.toJSON()["NVXDiskInventory"].size(), 3u);
}

TEST(MacToolSources, ProfilerListingTwoTypesIsAskedForThoseTwo) {
    FakeMac mac;
    const std::string twoTypes = "SPHardwareDataType SPDisplaysDataType -json -detailLevel full";
    mac.profilerAnswers = {{"-listDataTypes", macosFixture("written-for-tests/two-types.txt")},
                           {twoTypes, macosFixture("written-for-tests/two-types-profile.json")}};
    const RunReport report = mac.collect();
    EXPECT_EQ(mac.folder.calls("system_profiler"), (std::vector<std::string>{"-listDataTypes", twoTypes}));
    ASSERT_EQ(report.warnings.size(), 11u);
    EXPECT_EQ(report.warnings.front(), "Память" + missingSectionTail);
    EXPECT_EQ(report.warnings[9], "Fibre Channel" + missingSectionTail);
}

TEST(MacToolSources, DiskDetailsThatTimeOutGiveAFallbackRecord) {
    FakeMac mac;
    mac.limits.diskDetailsSeconds = 0.5;
    mac.replaceDiskAnswer(
        FakeAnswer("info -plist disk6", macosFixture("written-for-tests/apple-silicon-disk6.plist")).after(5));
    const auto start = std::chrono::steady_clock::now();
    const RunReport report = mac.collect();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));

    ASSERT_EQ(report.system.disks->size(), 3u);
    EXPECT_EQ((*report.system.disks)[1], (DiskSummary{"disk6", "disk6", 1000204886016, "Нет данных", std::nullopt,
                                                      std::nullopt, {"Samsung_T5"}}));
    EXPECT_EQ(report.warnings.front(),
              "disk6: накопитель обнаружен, но его подробности недоступны. Сбор сведений превысил 0 секунд. "
              "Попробуйте повторить опись.");
    EXPECT_EQ((*report.system.disks)[2].name, "One Touch HDD") << "the loop goes on after the time-out";
}

TEST(MacToolSources, OneDiskFailingAmongGoodOnes) {
    FakeMac mac;
    mac.replaceDiskAnswer(FakeAnswer("info -plist disk0").failing(1, "Could not find disk: disk0"));
    mac.replaceDiskAnswer(FakeAnswer("info -plist disk7").printing("<plist><dict><key>"));
    const RunReport report = mac.collect();
    ASSERT_EQ(report.warnings.size(), 3u);
    EXPECT_EQ(report.warnings[0],
              "disk0: накопитель обнаружен, но его подробности недоступны. Не удалось собрать системные сведения: "
              "Could not find disk: disk0");
    EXPECT_TRUE(report.warnings[1].starts_with("disk7: накопитель обнаружен, но его подробности недоступны. "));
    EXPECT_EQ((*report.system.disks)[1].name, "Samsung Portable SSD T5");
    EXPECT_EQ(report.inventory.toJSON()["NVXDiskInventory"].size(), 1u);
}

TEST(MacToolSources, DiskListFailuresBecomeOneWarning) {
    const std::string prefix = "Полный список накопителей недоступен: ";
    struct Case {
        FakeAnswer answer;
        std::string expected;  // the warning after the prefix; empty: any description
    };
    const std::string list = "list -plist physical";
    const std::vector<Case> cases = {
        {FakeAnswer(list).printing(
             "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>WholeDisks</key><array/></dict></plist>"),
         "macOS не вернула список физических накопителей."},
        {FakeAnswer(list).printing("<?xml version=\"1.0\"?><plist version=\"1.0\"><array/></plist>"),
         "macOS не вернула список физических накопителей."},
        {FakeAnswer(list).printing("this is not a property list"), ""},
        {FakeAnswer(list).failing(3, "boom"), "Не удалось собрать системные сведения: boom"},
    };
    for (const Case& c : cases) {
        FakeMac mac;
        mac.replaceDiskAnswer(c.answer);
        const RunReport report = mac.collect();
        ASSERT_FALSE(report.warnings.empty());
        EXPECT_TRUE(report.warnings[0].starts_with(prefix)) << report.warnings[0];
        if (!c.expected.empty()) {
            EXPECT_EQ(report.warnings[0], prefix + c.expected);
        }
        EXPECT_EQ(report.warnings.size(), 2u) << "the disk warning and the catalog's";
        EXPECT_FALSE(report.system.disks.has_value());
        EXPECT_FALSE(report.inventory.toJSON().contains("NVXDiskInventory"));
    }

    FakeMac missing;
    InventorySources sources = missing.sources();
    sources.diskUtility = std::make_shared<DiskUtilityTool>((missing.folder.path() / "no-diskutil").string());
    const RunReport report = Collector::collect(sources, StopToken(), {});
    EXPECT_TRUE(report.warnings[0].starts_with(prefix));
    EXPECT_FALSE(report.system.disks.has_value());
}

TEST(MacToolSources, ProfilerFailuresFailTheInventory) {
    const std::string noHardware = "macOS не вернула сведения о компьютере. Опись не завершена.";
    {
        FakeMac mac;
        InventorySources sources = mac.sources();
        sources.profiler = std::make_shared<SystemProfilerTool>((mac.folder.path() / "missing").string());
        EXPECT_THROW(Collector::collect(sources, StopToken(), {}), LaunchError);
    }
    {
        FakeMac mac;
        mac.profilerAnswers[0] = FakeAnswer("-listDataTypes").failing(3, "boom");
        try {
            mac.collect();
            ADD_FAILURE();
        } catch (const DepotriumError& error) {
            EXPECT_EQ(error.message(), "Не удалось собрать системные сведения: boom");
        }
    }
    {
        FakeMac mac;
        mac.limits.sectionsSeconds = 0.5;
        mac.profilerAnswers[1].sleepSeconds = 5;
        try {
            mac.collect();
            ADD_FAILURE();
        } catch (const DepotriumError& error) {
            EXPECT_EQ(error.message(), "Сбор сведений превысил 0 секунд. Попробуйте повторить опись.");
        }
    }
    {
        FakeMac mac;
        mac.profilerAnswers[1] = FakeAnswer(allTwelveTypes).printing("{\"SPHardwareDataType\": [garbage");
        EXPECT_THROW(mac.collect(), ParseError);
    }
    for (const std::string& answer : {std::string("[{\"SPHardwareDataType\": [{\"machine_model\": \"x\"}]}]"),
                                      std::string("{\"SPDisplaysDataType\": []}"), std::string("42")}) {
        FakeMac mac;
        mac.profilerAnswers[1] = FakeAnswer(allTwelveTypes).printing(answer);
        try {
            mac.collect();
            ADD_FAILURE() << answer;
        } catch (const DepotriumError& error) {
            EXPECT_EQ(error.message(), noHardware);
        }
        EXPECT_EQ(mac.folder.calls("diskutil").size(), 0u) << "no disk is examined";
    }
    {
        // A recording with the displays section alone.
        FakeMac mac;
        mac.profilerAnswers[1] = FakeAnswer(allTwelveTypes, macosFixture("m1-macbook-air/profile.json"));
        EXPECT_THROW(mac.collect(), DepotriumError);
    }
}

TEST(MacToolSources, StopDuringTheDiskLoop) {
    FakeMac mac;
    mac.replaceDiskAnswer(
        FakeAnswer("info -plist disk6", macosFixture("written-for-tests/apple-silicon-disk6.plist")).after(10));
    StopToken token;
    std::thread stopper([token] {
        std::this_thread::sleep_for(std::chrono::milliseconds(800));
        token.cancel();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(mac.collect(token), CancellationError);
    stopper.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    const auto calls = mac.folder.calls("diskutil");
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "info -plist disk7"), 0) << "no disk is asked for after the stop";
}

// ---- parsing the tools' answers ------------------------------------------------

TEST(MacToolOutputs, DataTypeListIsSplitAtAnyWhitespace) {
    const auto names = parseDataTypeList("Available Datatypes:\r\n\r\nSPHardwareDataType\n  SPUSBDataType\tSPNVMeDataType\n\xff");
    EXPECT_TRUE(names.contains("SPHardwareDataType"));
    EXPECT_TRUE(names.contains("SPUSBDataType"));
    EXPECT_TRUE(names.contains("SPNVMeDataType"));
    EXPECT_FALSE(names.contains(""));
    EXPECT_EQ(names.size(), 6u);  // the header's two words and the repaired stray byte included
}

TEST(MacToolOutputs, PropertyListsInXMLAndBinaryForm) {
    const json recorded = parsePropertyList(readWholeFile(macosFixture("apple-silicon-500gb-two-usb-disks/diskutil-list.plist")));
    ASSERT_TRUE(recorded["AllDisksAndPartitions"].is_array());
    EXPECT_EQ(recorded["AllDisksAndPartitions"][0]["DeviceIdentifier"], "disk0");
    EXPECT_EQ(recorded["AllDisksAndPartitions"][0]["Size"], 500277792768ULL);
    EXPECT_EQ(recorded["AllDisksAndPartitions"][0]["OSInternal"], false);

    plist_t root = plist_new_dict();
    plist_dict_set_item(root, "MediaName", plist_new_string("Диск"));
    plist_dict_set_item(root, "TotalSize", plist_new_uint(1000));
    plist_dict_set_item(root, "Internal", plist_new_bool(1));
    plist_dict_set_item(root, "Ratio", plist_new_real(0.5));
    plist_dict_set_item(root, "Blob", plist_new_data("\x01\x02", 2));
    char* binary = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(root, &binary, &length);
    const json parsed = parsePropertyList(std::string_view(binary, length));
    std::free(binary);
    plist_free(root);
    EXPECT_EQ(parsed, (json{{"MediaName", "Диск"}, {"TotalSize", 1000}, {"Internal", true}, {"Ratio", 0.5},
                            {"Blob", nullptr}}));

    for (const std::string& broken : {std::string(), std::string("not a plist"), std::string("<plist><dict><key>")})
        EXPECT_THROW(parsePropertyList(broken), ParseError) << broken;
}

// libplist aborts the process when it hands out a text holding a NUL
// character (a UTF-16 text of a binary list), and reads an XML list as a C
// string. A list with such a text is refused before libplist sees it; the
// NUL bytes of a binary list's structure are no reason to refuse it.
TEST(MacToolOutputs, APropertyListWithANulInsideATextIsRefused) {
    using namespace std::string_literals;
    // {"a": "ф\0y"} and {"ф\0b": "x"}, binary.
    const std::string nulInValue =
        "\x62\x70\x6C\x69\x73\x74\x30\x30\xD1\x01\x02\x51\x61\x63\x04\x44\x00\x00\x00\x79\x08\x0B\x0D\x00\x00\x00\x00"
        "\x00\x00\x01\x01\x00\x00\x00\x00\x00\x00\x00\x03\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x14"s;
    const std::string nulInKey =
        "\x62\x70\x6C\x69\x73\x74\x30\x30\xD1\x01\x02\x63\x04\x44\x00\x00\x00\x62\x51\x78\x08\x0B\x12\x00\x00\x00\x00"
        "\x00\x00\x01\x01\x00\x00\x00\x00\x00\x00\x00\x03\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x14"s;
    for (const std::string& withNul :
         {nulInValue, nulInKey,
          "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>A\0B</key><string>x</string></dict></plist>"s,
          "<plist><string>\0</string></plist>"s, "\0"s})
        EXPECT_THROW(parsePropertyList(withNul), ParseError);
    std::string intact = nulInValue;
    intact[17] = 'x';  // the NUL character becomes "x"
    EXPECT_EQ(parsePropertyList(intact)["a"], "фxy");
    plist_t root = plist_new_dict();
    plist_dict_set_item(root, "Size", plist_new_uint(0));
    char* binary = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(root, &binary, &length);
    const std::string bytes(binary, length);
    std::free(binary);
    plist_free(root);
    ASSERT_NE(bytes.find('\0'), std::string::npos);
    EXPECT_EQ(parsePropertyList(bytes), (json{{"Size", 0}}));
}

TEST(MacToolOutputs, OnlyDiskFollowedByDigitsIsAWholeDisk) {
    DiskUtilityTool tool;
    for (const char* whole : {"disk0", "disk12"}) EXPECT_TRUE(tool.isWholeDisk(whole)) << whole;
    for (const char* other : {"disk", "disk0s1", "disk1s2s1", "Disk0", "rdisk0", "disk0 ", "nvme0n1"})
        EXPECT_FALSE(tool.isWholeDisk(other)) << other;
}

}  // namespace
}  // namespace nvx
