// The fleet pages as text: what they link, escape and say. The browser
// tests look at the same pages rendered.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <regex>

#include "depot/changes_page.h"
#include "depot/device_page.h"
#include "depot/fleet_export.h"
#include "depot/fleet_list_page.h"
#include "depot/fleet_text.h"
#include "depot/hardware_profile.h"
#include "depot/metric_standing.h"
#include "depot/svg_chart.h"

namespace nvx::depot {
namespace {

std::size_t count(const std::string& text, const std::string& part) {
    std::size_t found = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++found;
    return found;
}

RunSummary summary(const std::string& id, const std::string& receivedAt) {
    RunSummary run;
    run.id = id;
    run.receivedAt = receivedAt;
    run.name = "Стенд <b>7</b>";
    run.owner = "\"Отдел\" & Co";
    run.location = "Корпус 'Б'";
    run.model = "Model<1>";
    run.deviceId = "dev/1?x";
    run.chip = "Chip";
    run.memoryBytes = 16ULL << 30;
    run.metrics = {412.5, std::nullopt, 1e4, 0.0, std::nullopt, 3.25};
    return run;
}

ListRequest request(std::map<std::string, std::string> values) {
    return parseListRequest([&values](const char* name) { return values[name]; });
}

TEST(FleetList, ParsesTheFormAndKeepsItInEveryLink) {
    const ListRequest parsed = request(
        {{"model", " Mac14,7 "}, {"q", "стенд & co"}, {"device", "d1"}, {"from", "2026-02-28"}, {"to", "2026-02-28"}});
    EXPECT_EQ(parsed.filter.model, "Mac14,7");
    EXPECT_EQ(parsed.filter.text, "стенд & co");
    EXPECT_EQ(parsed.filter.receivedFrom, "2026-02-28");
    EXPECT_EQ(parsed.filter.receivedBefore, "2026-03-01");  // the whole last day
    EXPECT_FALSE(parsed.cursor);
    EXPECT_TRUE(parsed.problems.empty());
    const std::string link = listLink(parsed, RunCursor{"2026-03-01T10:00:00Z", "a&b"}, PageDirection::newer);
    EXPECT_EQ(link,
              "/?model=Mac14%2C7&q=%D1%81%D1%82%D0%B5%D0%BD%D0%B4%20%26%20co&device=d1&from=2026-02-28&to=2026-02-28"
              "&at=2026-03-01T10%3A00%3A00Z&id=a%26b&dir=newer");
    const ListRequest back = request({{"at", "2026-03-01T10:00:00Z"}, {"id", "a&b"}, {"dir", "newer"}});
    EXPECT_EQ(back.cursor, (RunCursor{"2026-03-01T10:00:00Z", "a&b"}));
    EXPECT_EQ(back.direction, PageDirection::newer);

    const ListRequest wrong = request({{"from", "2026-02-30"}, {"to", "yesterday"}});
    EXPECT_TRUE(wrong.filter.receivedFrom.empty());
    EXPECT_TRUE(wrong.filter.receivedBefore.empty());
    EXPECT_EQ(wrong.problems.size(), 2u);
    EXPECT_EQ(dayAfter("2024-02-28"), "2024-02-29");
    EXPECT_EQ(dayAfter("2026-12-31"), "2027-01-01");
}

TEST(FleetList, EscapesEveryTextAndLinksPages) {
    const ListRequest parsed = request({{"q", "\"><script>"}, {"from", "2026-13-01"}});
    const std::vector<RunSummary> runs = {summary("r2", "2026-03-02T10:00:00Z"), summary("r1", "2026-03-01T10:00:00Z")};
    const std::string page = fleetListPage(parsed, runs, true, true);
    EXPECT_EQ(page.find("<script"), std::string::npos);
    EXPECT_EQ(page.find("<b>7"), std::string::npos);
    EXPECT_NE(page.find("value=\"&quot;&gt;&lt;script&gt;\""), std::string::npos);
    EXPECT_NE(page.find("Стенд &lt;b&gt;7&lt;/b&gt;"), std::string::npos);
    EXPECT_NE(page.find("&quot;Отдел&quot; &amp; Co"), std::string::npos);
    EXPECT_NE(page.find("Корпус &#39;Б&#39;"), std::string::npos);
    EXPECT_NE(page.find("href=\"/devices/dev%2F1%3Fx\""), std::string::npos);
    EXPECT_EQ(count(page, "<tr class=\"run\""), 2u);
    EXPECT_NE(page.find("412,5"), std::string::npos);
    EXPECT_NE(page.find("10000"), std::string::npos);
    EXPECT_NE(page.find("16,0 ГБ"), std::string::npos);
    EXPECT_NE(page.find("Дата «с» не распознана"), std::string::npos);
    EXPECT_NE(page.find("rel=\"prev\" href=\"/?q=%22%3E%3Cscript%3E&amp;from=2026-13-01&amp;at=2026-03-02T10%3A00%3A00Z"
                        "&amp;id=r2&amp;dir=newer\""),
              std::string::npos);
    EXPECT_NE(page.find("rel=\"next\""), std::string::npos);
    const std::string last = fleetListPage(parsed, runs, false, false);
    EXPECT_EQ(last.find("rel=\"prev\""), std::string::npos);
    EXPECT_EQ(last.find("rel=\"next\""), std::string::npos);
    EXPECT_NE(fleetListPage(request({}), {}, false, false).find("На складе пока нет описей."), std::string::npos);
    EXPECT_NE(fleetListPage(request({{"model", "x"}}), {}, false, false).find("не подходит ни одна опись"),
              std::string::npos);
}

TEST(DevicePage, ChartsHaveOneDotPerMeasuringRunAndChangesAreListed) {
    RunReport report;
    report.system.memory_bytes = 32ULL << 30;
    report.system.chip = "Chip";
    HardwareProfile profile = HardwareProfile::of(report);
    std::vector<DeviceRun> runs;
    for (int day = 1; day <= 4; ++day) {
        RunSummary run = summary("r" + std::to_string(day), "2026-03-0" + std::to_string(day) + "T10:00:00Z");
        if (day == 2) run.metrics[0].reset();  // this run skipped the metric
        if (day == 3) profile.memoryBytes = 16ULL << 30;
        runs.push_back({run, profile.encoded()});
    }
    const std::string page = devicePage("dev/1?x", runs);
    const std::regex chart("data-metric=\"cpu_single\"><svg[^]*?</svg>");
    std::smatch found;
    ASSERT_TRUE(std::regex_search(page, found, chart));
    EXPECT_EQ(count(found.str(), "<circle class=\"point\""), 3u);
    EXPECT_NE(found.str().find("M итераций/с"), std::string::npos);
    EXPECT_NE(found.str().find("01.03.2026"), std::string::npos);
    EXPECT_NE(found.str().find("04.03.2026"), std::string::npos);
    // Skipped everywhere: no chart at all.
    EXPECT_EQ(page.find("data-metric=\"cpu_multi\""), std::string::npos);
    EXPECT_EQ(count(page, "<svg"), 4u);
    EXPECT_EQ(count(page, "Память: 32 GB → 16 GB"), 1u);
    EXPECT_EQ(count(page, "<tr class=\"run\""), 4u);
    EXPECT_EQ(page.find("<b>"), std::string::npos);
    EXPECT_NE(page.find("<code>dev/1?x</code>"), std::string::npos);
}

TEST(SvgChart, AxesUnitsAndEscapedTexts) {
    const std::string chart = timeChartSVG({{0, 10, "01.03"}, {86400, 250, "02.03"}}, "МиБ/с <&>", "caption \"x\"");
    EXPECT_EQ(count(chart, "<circle"), 2u);
    EXPECT_NE(chart.find("МиБ/с &lt;&amp;&gt;"), std::string::npos);
    EXPECT_NE(chart.find("aria-label=\"caption &quot;x&quot;\""), std::string::npos);
    EXPECT_NE(chart.find(">300</text>"), std::string::npos);  // the value axis reaches a round value above 250
    EXPECT_NE(chart.find(">0</text>"), std::string::npos);
    EXPECT_EQ(count(timeChartSVG({{5, 1, "d"}}, "u", "c"), "<circle"), 1u);  // one run: one dot, no line
    EXPECT_EQ(count(timeChartSVG({}, "u", "c"), "<circle"), 0u);
    EXPECT_EQ(readableNumber(1234.5), "1234,5");
    EXPECT_EQ(readableNumber(2.0), "2");
    EXPECT_EQ(readableNumber(0.126, 2), "0,13");
}

TEST(MetricStanding, PercentileCountsBelowAndHalfOfEqual) {
    const std::vector<double> values = {1, 2, 3, 3, 5, 8, 9, 10};
    const Percentile place = percentileOf(3, values);
    EXPECT_EQ(place.below, 2u);
    EXPECT_EQ(place.equal, 2u);
    EXPECT_EQ(place.above, 4u);
    EXPECT_EQ(place.percentile, 38);  // (2 + 1) / 8 = 37,5 %
    EXPECT_EQ(percentileOf(11, values).percentile, 100);
    EXPECT_EQ(percentileOf(0, values).percentile, 0);

    const std::string section = standingsSection("Model<1>", {{0, 3, values}, {5, 1, {1, 2, 3, 4}}});
    EXPECT_NE(section.find("38-й процентиль среди 8 компьютеров (ниже — 2, столько же — 2, выше — 4)"),
              std::string::npos);
    EXPECT_NE(section.find("сейчас их 4"), std::string::npos);
    EXPECT_EQ(count(section, "<svg"), 1u);
    EXPECT_NE(section.find("Model&lt;1&gt;"), std::string::npos);
    EXPECT_TRUE(standingsSection("M", {}).empty());
}

TEST(ChangesPage, ListsEntriesWithTheirKindsAndLinksOn) {
    ChangeEntry entry{summary("r1", "2026-03-01T10:00:00Z"),
                      {{HardwareChangeKind::memory, "Память: 32 GB → 16 GB"}, {HardwareChangeKind::usb, "USB: <x>"}}};
    const std::string page =
        changesPage(HardwareChangeKind::usb, {entry}, RunCursor{"2026-03-01T10:00:00Z", "r 1"}, false);
    EXPECT_NE(page.find("<option value=\"usb\" selected>"), std::string::npos);
    EXPECT_NE(page.find("USB: &lt;x&gt;"), std::string::npos);
    EXPECT_NE(page.find("href=\"/changes?kind=usb&amp;at=2026-03-01T10%3A00%3A00Z&amp;id=r%201\""), std::string::npos);
    EXPECT_NE(page.find("href=\"/changes?kind=usb\""), std::string::npos);
    EXPECT_NE(changesPage(std::nullopt, {}, std::nullopt, true).find("Смен оборудования пока не было."),
              std::string::npos);
}

TEST(FleetExport, CsvFollowsTheRfcAndDefusesFormulas) {
    RunSummary run = summary("r1", "2026-03-01T10:00:00Z");
    run.name = "=HYPERLINK(\"x\")";
    run.owner = "Отдел, \"главный\"\nвторой этаж";
    const std::string header = csvHeader();
    EXPECT_EQ(header,
              "device_id,run_id,received_at,name,owner,location,model,chip,memory_bytes,cpu_single,cpu_multi,"
              "memory_copy,gpu_compute,disk_write,disk_read\r\n");
    EXPECT_EQ(csvRow(run),
              "dev/1?x,r1,2026-03-01T10:00:00Z,\"'=HYPERLINK(\"\"x\"\")\",\"Отдел, \"\"главный\"\"\nвторой этаж\","
              "Корпус 'Б',Model<1>,Chip,17179869184,412.5,,10000,0,,3.25\r\n");
    const auto json = nlohmann::json::parse(jsonExportStart() + jsonExportRow(run) + jsonExportSeparator() +
                                            jsonExportRow(summary("r2", "t")) + jsonExportEnd());
    ASSERT_EQ(json.size(), 2u);
    EXPECT_EQ(json[0]["name"], "=HYPERLINK(\"x\")");  // JSON carries the text as it is
    EXPECT_EQ(json[0]["metrics"]["cpu_single"], 412.5);
    EXPECT_TRUE(json[0]["metrics"]["cpu_multi"].is_null());
    EXPECT_EQ(json[1]["run_id"], "r2");
}

TEST(FleetText, DatesOfReceivedTimes) {
    EXPECT_EQ(dayText("2026-03-01T09:15:00Z"), "01.03.2026");
    EXPECT_EQ(momentText("2026-03-01T09:15:00Z"), "01.03.2026 09:15");
    EXPECT_EQ(epochSecondsOf("1970-01-02T00:00:01Z"), 86401);
    EXPECT_FALSE(epochSecondsOf("2026-02-30T00:00:00Z"));
    EXPECT_FALSE(epochSecondsOf("2026-03-01T09:15:00Z junk"));
    EXPECT_EQ(dayText("вчера"), "вчера");
}

}  // namespace
}  // namespace nvx::depot
