#include <gtest/gtest.h>

#include <thread>

#include "core/errors.h"
#include "core/random_id.h"
#include "core/report_json.h"
#include "inventory/collector.h"
#include "inventory/privacy.h"
#include "inventory/support/fake_inventory_sources.h"

namespace nvx {
namespace {

using nlohmann::json;
using testing::FakeDiskUtility;
using testing::FakeKernel;
using testing::FakeSystemProfiler;

const std::string missingSectionTail = ": macOS не предоставила раздел. Это не доказывает отсутствие оборудования.";
const std::string identifierWarning =
    "Системный идентификатор недоступен: повторные описи могут отображаться отдельными устройствами.";

// "2026-03-01T09:15:00Z": digits where the pattern has 9.
bool isWholeSecondUTC(const std::string& text) {
    const std::string pattern = "9999-99-99T99:99:99Z";
    if (text.size() != pattern.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (pattern[i] == '9' ? !std::isdigit(static_cast<unsigned char>(text[i])) : text[i] != pattern[i]) return false;
    return true;
}

std::set<std::string> allDataTypes() {
    std::set<std::string> types;
    for (const auto& [type, title] : Collector::sections) types.insert(type);
    return types;
}

// A Mac with Apple silicon, one internal disk and every section present.
struct Machine {
    std::shared_ptr<FakeSystemProfiler> profiler = std::make_shared<FakeSystemProfiler>();
    std::shared_ptr<FakeDiskUtility> disks = std::make_shared<FakeDiskUtility>();
    FakeKernel kernel;
    std::set<std::string> catalog = {"Mac14,7"};

    Machine() {
        profiler->dataTypes = allDataTypes();
        profiler->dataTypes.insert("SPSoftwareDataType");
        for (const auto& [type, title] : Collector::sections) profiler->tree[type] = json::array();
        profiler->tree["SPHardwareDataType"] = json::array({{{"_name", "hardware_overview"},
                                                             {"machine_model", "Mac14,7"},
                                                             {"chip_type", "Apple M2"},
                                                             {"platform_UUID", "5A1C3E2F-7B4D-5E6F-8A9B-0C1D2E3F4A5B"},
                                                             {"provisioning_UDID", "00008112-000A1B2C3D4E501E"},
                                                             {"serial_number", "K9WQ4T7LXJ"}}});
        profiler->tree["SPDisplaysDataType"] = json::array({{{"_name", "kHW_AppleM2Item"}, {"sppci_model", "Apple M2"}}});
        disks->list = {{"AllDisksAndPartitions",
                        json::array({{{"DeviceIdentifier", "disk0"},
                                      {"Size", 500277792768ULL},
                                      {"Partitions", json::array({{{"VolumeName", "EFI"}}, {{"VolumeName", "Data"}}})}}})}};
        disks->details["disk0"] = {{"MediaName", "APPLE SSD AP0512Z"},
                                   {"TotalSize", 500277792768ULL},
                                   {"BusProtocol", "Apple Fabric"},
                                   {"Internal", true},
                                   {"SolidState", true},
                                   {"DiskUUID", "11111111-2222-3333-4444-555555555555"}};
        kernel.integers = {{"hw.logicalcpu", 8}, {"hw.physicalcpu", 8}};
    }

    RunReport collect(std::vector<std::string>* progress = nullptr) const {
        return Collector::collect(testing::fakeSources(profiler, disks, kernel, catalog), StopToken(),
                                  [progress](const std::string& text) {
                                      if (progress) progress->push_back(text);
                                  });
    }
};

TEST(CollectorSteps, ReportsProgressAsksOnceAndBuildsTheSummary) {
    Machine machine;
    std::vector<std::string> progress;
    const RunReport report = machine.collect(&progress);

    EXPECT_EQ(progress, (std::vector<std::string>{"Бурко осматривает оборудование", "Сверяем комплектность описи",
                                                  "Осматриваем все накопители"}));
    ASSERT_EQ(machine.profiler->requests.size(), 1u);
    std::vector<std::string> inTableOrder;
    for (const auto& [type, title] : Collector::sections) inTableOrder.push_back(type);
    EXPECT_EQ(machine.profiler->requests[0], inTableOrder);

    EXPECT_EQ(report.schema_version, 1);
    EXPECT_EQ(report.benchmark_version, "1.0.0");
    EXPECT_TRUE(isCanonicalUUID(report.id));
    EXPECT_EQ(report.id, [&] {
        std::string lower = report.id;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return lower;
    }());
    EXPECT_EQ(report.device_id, deviceIdentifier(std::string("5A1C3E2F-7B4D-5E6F-8A9B-0C1D2E3F4A5B")));
    EXPECT_TRUE(isWholeSecondUTC(report.created_at)) << report.created_at;
    EXPECT_TRUE(report.name.empty() && report.owner.empty() && report.location.empty());
    EXPECT_FALSE(report.description.has_value());
    EXPECT_TRUE(report.metrics.empty());
    EXPECT_FALSE(report.completed);
    EXPECT_TRUE(report.warnings.empty()) << report.warnings.front();

    const SystemSummary& system = report.system;
    EXPECT_EQ(system.model, "Mac14,7");
    EXPECT_EQ(system.chip, "Apple M2");
    EXPECT_EQ(system.memory_bytes, 17179869184u);
    EXPECT_EQ(system.logical_cores, 8);
    EXPECT_EQ(system.os, "Версия 14.4 (сборка 23E214)");
#if defined(__x86_64__)
    EXPECT_EQ(system.architecture, "x86_64");
#elif defined(__aarch64__)
    EXPECT_EQ(system.architecture, "arm64");
#endif
    EXPECT_EQ(system.gpu, std::vector<std::string>{"Apple M2"});
    ASSERT_TRUE(system.disks.has_value());
    ASSERT_EQ(system.disks->size(), 1u);
    EXPECT_EQ((*system.disks)[0].volumes, std::vector<std::string>{"Data"});
    ASSERT_TRUE(system.model_matches.has_value());
    EXPECT_EQ(system.model_matches->size(), 1u);
}

TEST(CollectorSteps, InventoryCarriesTheDiskRecordsAndNoIdentifiers) {
    Machine machine;
    const RunReport report = machine.collect();
    const json inventory = report.inventory.toJSON();

    ASSERT_TRUE(inventory.contains("NVXDiskInventory"));
    EXPECT_EQ(inventory["NVXDiskInventory"]["disk0"]["name"], "APPLE SSD AP0512Z");
    EXPECT_EQ(inventory["SPHardwareDataType"][0]["machine_model"], "Mac14,7");
    for (const std::string& key : testing::allKeys(inventory)) EXPECT_FALSE(testing::isIdentifyingKey(key)) << key;
    // The disk utility's own answer is never copied, identifiers included.
    EXPECT_FALSE(inventory["NVXDiskInventory"]["disk0"].contains("DiskUUID"));
}

TEST(CollectorSteps, TheSameMachineKeepsItsDeviceIdentifierButNotItsRunIdentifier) {
    Machine machine;
    const RunReport first = machine.collect();
    const RunReport second = machine.collect();
    EXPECT_EQ(first.device_id, second.device_id);
    EXPECT_NE(first.id, second.id);
}

TEST(CollectorWarnings, ProfilerWithTwoTypesIsAskedForThoseTwoAndTenSectionsAreMissing) {
    Machine machine;
    machine.profiler->dataTypes = {"SPHardwareDataType", "SPDisplaysDataType", "SPSoftwareDataType"};
    json tree = {{"SPHardwareDataType", machine.profiler->tree["SPHardwareDataType"]},
                 {"SPDisplaysDataType", machine.profiler->tree["SPDisplaysDataType"]}};
    machine.profiler->tree = tree;

    const RunReport report = machine.collect();
    ASSERT_EQ(machine.profiler->requests.size(), 1u);
    EXPECT_EQ(machine.profiler->requests[0], (std::vector<std::string>{"SPHardwareDataType", "SPDisplaysDataType"}));

    std::vector<std::string> expected;
    for (const char* title : {"Память", "Тома и накопители", "NVMe", "SATA", "PCI-карты", "Thunderbolt", "USB",
                              "Сетевые адаптеры", "Аудиоустройства", "Fibre Channel"})
        expected.push_back(title + missingSectionTail);
    EXPECT_EQ(report.warnings, expected);
}

TEST(CollectorWarnings, AnEmptySectionIsPresentAndAnUnlistedOneIsMissing) {
    Machine machine;
    machine.profiler->dataTypes.erase("SPUSBDataType");  // listed nowhere, but the tree still answers
    machine.profiler->tree.erase("SPFibreChannelDataType");
    const RunReport report = machine.collect();
    EXPECT_EQ(machine.profiler->requests[0].size(), 11u);
    EXPECT_EQ(report.warnings, std::vector<std::string>{"Fibre Channel" + missingSectionTail});
}

TEST(CollectorWarnings, ComeInTheirFixedOrder) {
    Machine machine;
    machine.profiler->tree["SPHardwareDataType"][0].erase("platform_UUID");
    machine.profiler->tree.erase("SPAudioDataType");
    machine.profiler->tree.erase("SPMemoryDataType");
    machine.catalog.clear();
    machine.disks->list["AllDisksAndPartitions"].push_back({{"DeviceIdentifier", "disk4"}, {"Size", 64}});
    machine.disks->detailActions["disk4"] = []() -> json {
        throw DepotriumError("Сбор сведений превысил 10 секунд. Попробуйте повторить опись.");
    };

    const RunReport report = machine.collect();
    EXPECT_EQ(report.warnings,
              (std::vector<std::string>{
                  "disk4: накопитель обнаружен, но его подробности недоступны. Сбор сведений превысил 10 секунд. "
                  "Попробуйте повторить опись.",
                  identifierWarning, "Память" + missingSectionTail, "Аудиоустройства" + missingSectionTail,
                  "Mac14,7: модель пока отсутствует во встроенном справочнике. Название и год не определены."}));
    EXPECT_TRUE(report.system.model_matches.has_value());
    EXPECT_TRUE(report.system.model_matches->empty());
    EXPECT_TRUE(isCanonicalUUID(report.device_id));
}

TEST(CollectorWarnings, EmptyPlatformIdentifierIsWarnedAboutAndGivesARandomDevice) {
    Machine machine;
    machine.profiler->tree["SPHardwareDataType"][0]["platform_UUID"] = "";
    const RunReport first = machine.collect();
    const RunReport second = machine.collect();
    EXPECT_EQ(first.warnings, std::vector<std::string>{identifierWarning});
    EXPECT_NE(first.device_id, second.device_id);
}

TEST(CollectorWarnings, DiskFailureBecomesOneWarningAndNoDiskList) {
    Machine machine;
    machine.profiler->tree["SPHardwareDataType"][0].erase("platform_UUID");
    machine.disks->list = {{"WholeDisks", json::array({"disk0"})}};
    const RunReport report = machine.collect();
    EXPECT_EQ(report.warnings,
              (std::vector<std::string>{
                  "Полный список накопителей недоступен: macOS не вернула список физических накопителей.",
                  identifierWarning}));
    EXPECT_FALSE(report.system.disks.has_value());
    EXPECT_FALSE(report.inventory.toJSON().contains("NVXDiskInventory"));
    EXPECT_FALSE(toJSON(report.system).contains("disks"));
}

TEST(CollectorFallbacks, ModelAndChipComeFromTheKernelThenNoData) {
    Machine machine;
    machine.profiler->tree["SPHardwareDataType"][0].erase("machine_model");
    machine.profiler->tree["SPHardwareDataType"][0].erase("chip_type");
    machine.kernel.strings = {{"hw.model", "Mac14,7"}, {"machdep.cpu.brand_string", "Apple M2"}};
    RunReport report = machine.collect();
    EXPECT_EQ(report.system.model, "Mac14,7");
    EXPECT_EQ(report.system.chip, "Apple M2");
    EXPECT_EQ(report.system.model_matches->size(), 1u);  // the sysctl value is the catalog key

    machine.kernel.strings.clear();
    machine.kernel.integers.clear();
    machine.kernel.processors = 6;
    report = machine.collect();
    EXPECT_EQ(report.system.model, "Нет данных");
    EXPECT_EQ(report.system.chip, "Нет данных");
    EXPECT_EQ(report.system.logical_cores, 6);
    EXPECT_EQ(report.system.physical_cores, 6);
    EXPECT_EQ(report.warnings.back(),
              "Нет данных: модель пока отсутствует во встроенном справочнике. Название и год не определены.");
}

TEST(CollectorFallbacks, GraphicsNamesPreferTheModelAndNeverReplaceANonTextOne) {
    Machine machine;
    machine.profiler->tree["SPDisplaysDataType"] =
        json::array({{{"sppci_model", 42}, {"_name", "Numbered"}},
                     {{"_name", "Intel UHD Graphics 630"}},
                     {{"sppci_model", "AMD Radeon Pro 5500M"}, {"_name", "kHW_AMD"}},
                     {{"spdisplays_vendor", "nobody"}}});
    EXPECT_EQ(machine.collect().system.gpu,
              (std::vector<std::string>{"Intel UHD Graphics 630", "AMD Radeon Pro 5500M"}));

    machine.profiler->tree["SPDisplaysDataType"] = json::array({"not an object", {{"_name", "Lost"}}});
    EXPECT_TRUE(machine.collect().system.gpu.empty());
}

TEST(CollectorFailures, WithoutAHardwareItemNothingIsReturned) {
    const std::string message = "macOS не вернула сведения о компьютере. Опись не завершена.";
    for (const json& tree : {json::array({{{"SPHardwareDataType", json::array({{{"machine_model", "x"}}})}}}),
                             json{{"SPHardwareDataType", json::array()}},
                             json{{"SPHardwareDataType", json::array({"text"})}},
                             json{{"SPHardwareDataType", {{"machine_model", "x"}}}}, json{{"SPMemoryDataType", 1}},
                             json("text")}) {
        Machine machine;
        machine.profiler->tree = tree;
        try {
            machine.collect();
            ADD_FAILURE() << tree.dump();
        } catch (const DepotriumError& error) {
            EXPECT_EQ(error.message(), message);
        }
        EXPECT_TRUE(machine.disks->detailRequests.empty()) << "no disk is examined after a failure";
    }
}

TEST(CollectorFailures, ProfilerErrorsAndStopsPassThroughUnchanged) {
    Machine machine;
    machine.profiler->failure = [] { throw LaunchError("Не удалось запустить /usr/sbin/system_profiler."); };
    EXPECT_THROW(machine.collect(), LaunchError);

    Machine stopped;
    stopped.disks->detailActions["disk0"] = []() -> json { throw CancellationError(); };
    EXPECT_THROW(stopped.collect(), CancellationError);

    Machine listStopped;
    listStopped.disks->listFailure = [] { throw CancellationError(); };
    EXPECT_THROW(listStopped.collect(), CancellationError);
}

// ---- the disk inventory ------------------------------------------------------

struct DiskList {
    FakeDiskUtility utility;
    void add(json entry) { utility.list["AllDisksAndPartitions"].push_back(std::move(entry)); }
    Collector::DiskInventory run(const StopToken& token = StopToken()) { return Collector::disks(utility, token); }
};

TEST(DiskInventory, ExaminesWholeDisksOnlyInListOrder) {
    DiskList list;
    list.add({{"DeviceIdentifier", "disk2"}, {"Size", 2000}});
    list.add({{"DeviceIdentifier", "disk0s1"}, {"Size", 10}});
    list.add(json::object());
    list.add({{"Size", 5}});
    list.add({{"DeviceIdentifier", 7}});
    list.add({{"DeviceIdentifier", "disk0"}, {"Size", 1000}});
    const auto inventory = list.run();
    EXPECT_EQ(list.utility.detailRequests, (std::vector<std::string>{"disk2", "disk0"}));
    ASSERT_EQ(inventory.disks.size(), 2u);
    EXPECT_EQ(inventory.disks[0].id, "disk2");
    EXPECT_EQ(inventory.disks[1].id, "disk0");
    EXPECT_TRUE(inventory.warnings.empty());
}

TEST(DiskInventory, ADiskListedTwiceIsExaminedAndCountedOnce) {
    DiskList list;
    list.add({{"DeviceIdentifier", "disk0"}, {"Size", 1000}});
    list.add({{"DeviceIdentifier", "disk1"}, {"Size", 2000}});
    list.add({{"DeviceIdentifier", "disk0"}, {"Size", 1000}});
    list.utility.detailActions["disk1"] = []() -> json { throw ParseError("Ответ не прочитан."); };
    list.add({{"DeviceIdentifier", "disk1"}, {"Size", 2000}});
    const auto inventory = list.run();
    EXPECT_EQ(list.utility.detailRequests, (std::vector<std::string>{"disk0", "disk1"}));
    ASSERT_EQ(inventory.disks.size(), 2u);
    EXPECT_EQ(inventory.disks[0].id, "disk0");
    EXPECT_EQ(inventory.disks[1].id, "disk1");
    EXPECT_EQ(inventory.raw.size(), 1u);
    EXPECT_EQ(inventory.warnings.size(), 1u) << "the failing disk is warned about once";
}

TEST(DiskInventory, ReadsTheDetailsWithTheirFallbacks) {
    DiskList list;
    list.add({{"DeviceIdentifier", "disk0"},
              {"Size", 1000},
              {"Partitions", json::array({{{"VolumeName", "EFI"}}, {{"VolumeName", "Data"}}, {{"Content", "x"}},
                                          {{"VolumeName", "efi"}}})}});
    list.add({{"DeviceIdentifier", "disk1"}, {"Size", 2000}, {"Partitions", "not a list"}});
    list.add({{"DeviceIdentifier", "disk2"}});
    list.add({{"DeviceIdentifier", "disk3"}, {"Size", 3000}});
    list.utility.details["disk0"] = {{"MediaName", "APPLE SSD"}, {"TotalSize", 1024},     {"BusProtocol", "PCI-Express"},
                                     {"Internal", true},         {"SolidState", false}};
    list.utility.details["disk1"] = {{"IORegistryEntryName", "Samsung T5 Media"}, {"Internal", "Yes"}};
    list.utility.details["disk3"] = {{"TotalSize", -1}, {"MediaName", 5}};

    const auto inventory = list.run();
    ASSERT_EQ(inventory.disks.size(), 4u);
    const DiskSummary& first = inventory.disks[0];
    EXPECT_EQ(first, (DiskSummary{"disk0", "APPLE SSD", 1024, "PCI-Express", true, false, {"Data", "efi"}}));
    EXPECT_EQ(inventory.disks[1], (DiskSummary{"disk1", "Samsung T5 Media", 2000, "Нет данных", std::nullopt,
                                               std::nullopt, {}}));
    EXPECT_EQ(inventory.disks[2].name, "disk2");
    EXPECT_EQ(inventory.disks[2].bytes, 0u);
    // A negative size is no size: the list's own size stands instead of a wrapped-around number.
    EXPECT_EQ(inventory.disks[3].bytes, 3000u);
    EXPECT_EQ(inventory.disks[3].name, "disk3");

    EXPECT_EQ(inventory.raw["disk0"], toJSON(first));
    EXPECT_FALSE(inventory.raw["disk1"].contains("internal"));
    EXPECT_EQ(inventory.raw.size(), 4u);
}

TEST(DiskInventory, OneDiskFailingAmongGoodOnesGetsAFallbackAndAWarning) {
    DiskList list;
    list.add({{"DeviceIdentifier", "disk0"}, {"Size", 1000}});
    list.add({{"DeviceIdentifier", "disk4"}, {"Size", 64}, {"Partitions", json::array({{{"VolumeName", "USB"}}})}});
    list.add({{"DeviceIdentifier", "disk5"}});
    list.utility.details["disk0"] = {{"MediaName", "APPLE SSD"}};
    list.utility.detailActions["disk4"] = []() -> json {
        throw DepotriumError("Сбор сведений превысил 10 секунд. Попробуйте повторить опись.");
    };
    list.utility.detailActions["disk5"] = []() -> json { throw ParseError("не список свойств"); };

    const auto inventory = list.run();
    ASSERT_EQ(inventory.disks.size(), 3u);
    EXPECT_EQ(inventory.disks[1],
              (DiskSummary{"disk4", "disk4", 64, "Нет данных", std::nullopt, std::nullopt, {"USB"}}));
    EXPECT_EQ(inventory.disks[2].bytes, 0u);
    EXPECT_EQ(inventory.warnings,
              (std::vector<std::string>{"disk4: накопитель обнаружен, но его подробности недоступны. Сбор сведений "
                                        "превысил 10 секунд. Попробуйте повторить опись.",
                                        "disk5: накопитель обнаружен, но его подробности недоступны. не список свойств"}));
    EXPECT_EQ(inventory.raw.size(), 1u) << "failed disks make no raw entry";
}

TEST(DiskInventory, AnUnusableListIsAnErrorAndAnEmptyOneIsNot) {
    for (const json& list : {json::object(), json::array(), json{{"AllDisks", json::array()}},
                             json{{"AllDisksAndPartitions", "disk0"}},
                             json{{"AllDisksAndPartitions", json::array({"disk0"})}}}) {
        FakeDiskUtility utility;
        utility.list = list;
        try {
            Collector::disks(utility, StopToken());
            ADD_FAILURE() << list.dump();
        } catch (const DepotriumError& error) {
            EXPECT_EQ(error.message(), "macOS не вернула список физических накопителей.");
        }
    }
    FakeDiskUtility empty;
    empty.list = {{"AllDisksAndPartitions", json::array()}};
    const auto inventory = Collector::disks(empty, StopToken());
    EXPECT_TRUE(inventory.disks.empty());
    EXPECT_TRUE(inventory.warnings.empty());
    EXPECT_TRUE(inventory.raw.is_object() && inventory.raw.empty());
}

TEST(DiskInventory, StopsBetweenDisksAndInsideADetailCall) {
    DiskList list;
    StopToken token;
    list.add({{"DeviceIdentifier", "disk0"}});
    list.add({{"DeviceIdentifier", "disk1"}});
    list.utility.detailActions["disk0"] = [token]() -> json {
        token.cancel();
        return json::object();
    };
    EXPECT_THROW(list.run(token), CancellationError);
    EXPECT_EQ(list.utility.detailRequests, std::vector<std::string>{"disk0"});

    DiskList inside;
    inside.add({{"DeviceIdentifier", "disk0"}});
    inside.add({{"DeviceIdentifier", "disk1"}});
    inside.utility.detailActions["disk0"] = []() -> json { throw CancellationError(); };
    EXPECT_THROW(inside.run(), CancellationError);
    EXPECT_EQ(inside.utility.detailRequests, std::vector<std::string>{"disk0"});
}

}  // namespace
}  // namespace nvx
