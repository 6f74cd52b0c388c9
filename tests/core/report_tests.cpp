#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <unordered_set>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "core/errors.h"
#include "core/report.h"
#include "support/sample_reports.h"

namespace nvx {
namespace {

using testing::sampleReport;

TEST(RunReport, InitialiserDefaults) {
    RunReport report;
    EXPECT_EQ(report.schema_version, 1);
    EXPECT_EQ(report.benchmark_version, "1.0.0");
    EXPECT_EQ(std::string(benchmarkVersion), "1.0.0");
    EXPECT_TRUE(report.name.empty());
    EXPECT_FALSE(report.description.has_value());
    EXPECT_TRUE(report.metrics.empty());
    EXPECT_FALSE(report.completed);
}

TEST(RunReport, WritesEveryRecordWithSortedKeys) {
    const auto document = nlohmann::json::parse(sampleReport().data());
    std::vector<std::string> keys;
    for (const auto& [key, value] : document.items()) keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::string>{"benchmark_version", "completed", "created_at", "description",
                                              "device_id", "id", "inventory", "location", "metrics", "name",
                                              "owner", "schema_version", "system", "warnings"}));
    // The text itself is ordered, not just the parsed map: check positions.
    const std::string text = sampleReport().data();
    EXPECT_LT(text.find("\"architecture\""), text.find("\"chip\""));
    EXPECT_LT(text.find("\"NVXDiskInventory\""), text.find("\"SPDisplaysDataType\""));
    EXPECT_LT(text.find("\"sppci_cores\""), text.find("\"sppci_model\""));
    EXPECT_NE(text.find('\n'), std::string::npos) << "pretty-printed";
}

TEST(RunReport, SlashesAreNeverEscaped) {
    const std::string text = sampleReport().data();
    EXPECT_NE(text.find("https://support.example/identify-macbook-pro"), std::string::npos);
    EXPECT_EQ(text.find("\\/"), std::string::npos);
}

TEST(RunReport, AbsentOptionalsAreLeftOutAndEmptyOnesKept) {
    auto report = sampleReport();
    report.description.reset();
    report.system.disks.reset();
    auto document = nlohmann::json::parse(report.data());
    EXPECT_FALSE(document.contains("description"));
    EXPECT_FALSE(document["system"].contains("disks"));

    report.description = "";
    report.system.disks = std::vector<DiskSummary>{};
    document = nlohmann::json::parse(report.data());
    EXPECT_EQ(document["description"], "");
    EXPECT_EQ(document["system"]["disks"], nlohmann::json::array());
    EXPECT_FALSE(document["system"]["disks"].is_null());
}

TEST(RunReport, SkippedMetricShape) {
    const auto metric = Metric::skipped("disk_write", "Диск · запись", "Отключено пользователем.");
    EXPECT_EQ(metric.status, "skipped");
    EXPECT_FALSE(metric.value.has_value());
    RunReport report = sampleReport();
    report.metrics = {metric};
    const auto written = nlohmann::json::parse(report.data())["metrics"][0];
    EXPECT_EQ(written["samples"], nlohmann::json::array());
    EXPECT_EQ(written["parameters"], nlohmann::json::object());
    EXPECT_EQ(written["unit"], "");
    EXPECT_EQ(written["checksum"], "");
    EXPECT_FALSE(written.contains("value"));
}

TEST(RunReport, NonFiniteDoubleAnywhereFailsTheWholeEncoding) {
    auto report = sampleReport();
    report.metrics[0].value = std::numeric_limits<double>::quiet_NaN();
    EXPECT_THROW(report.data(), EncodingError);
    report = sampleReport();
    report.metrics[0].samples.push_back(-std::numeric_limits<double>::infinity());
    EXPECT_THROW(report.data(), EncodingError);
    report = sampleReport();
    report.inventory = JSONValue(JSONValue::Object{{"x", JSONValue(std::numeric_limits<double>::infinity())}});
    EXPECT_THROW(report.data(), EncodingError);
}

TEST(RunReport, EqualityIsFieldByFieldAndNaNNeverEqual) {
    EXPECT_EQ(sampleReport(), sampleReport());
    auto changed = sampleReport();
    changed.metrics[0].samples[2] = 415.0;
    EXPECT_NE(changed, sampleReport());
    changed = sampleReport();
    changed.warnings.push_back("ещё одно");
    EXPECT_NE(changed, sampleReport());
    changed = sampleReport();
    changed.system.disks->at(0).internal.reset();
    EXPECT_NE(changed, sampleReport());
    auto withNaN = sampleReport();
    withNaN.metrics[0].value = std::nan("");
    EXPECT_NE(withNaN, withNaN);
}

TEST(RunReport, RoundTripGivesAnEqualReport) {
    const auto report = sampleReport();
    EXPECT_EQ(RunReport::decode(report.data()), report);
    RunReport minimal;
    EXPECT_EQ(RunReport::decode(minimal.data()), minimal);
}

TEST(RunReport, RandomTreesAndDoublesRoundTripBitIdentically) {
    std::mt19937_64 random(20261206);
    for (int round = 0; round < 200; ++round) {
        auto report = sampleReport();
        report.inventory = testing::randomTree(random, 4);
        double value;
        do {
            std::uint64_t bits = random();
            std::memcpy(&value, &bits, sizeof value);
        } while (!std::isfinite(value));
        report.metrics[0].value = value;
        report.metrics[0].samples = {value, -value, std::numeric_limits<double>::denorm_min(),
                                     std::numeric_limits<double>::max()};
        report.system.memory_bytes = random();
        const auto decoded = RunReport::decode(report.data());
        ASSERT_EQ(decoded, report) << report.data();
        std::uint64_t before, after;
        std::memcpy(&before, &*report.metrics[0].value, sizeof before);
        std::memcpy(&after, &*decoded.metrics[0].value, sizeof after);
        EXPECT_EQ(before, after);
    }
}

TEST(ModelMatch, HashAgreesWithEquality) {
    const ModelMatch a{"Mac14,7", "MacBook Pro", "2022", "https://x", "Apple M2"};
    ModelMatch b = a;
    EXPECT_EQ(std::hash<ModelMatch>{}(a), std::hash<ModelMatch>{}(b));
    b.chip_hint.reset();
    EXPECT_NE(a, b);
    std::unordered_set<ModelMatch> set{a, b, a};
    EXPECT_EQ(set.size(), 2u);
}

}  // namespace
}  // namespace nvx
