// The fleet pages in a real browser: headless chromium loads them from an
// nvx-depot started on seeded data, the tests read the DOM it rendered, and
// screenshots are kept in the build folder for a person to look at.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <regex>
#include <set>

#include "depot/run_columns.h"
#include "depot/sqlite_store.h"
#include "support/child_process.h"
#include "support/headless_browser.h"
#include "support/sample_reports.h"
#include "support/scratch_folder.h"

namespace nvx::depot {
namespace {

constexpr const char* hostileName = "<script>document.title='взломано'</script>Стойка";
constexpr const char* hostileOwner = "\"><img src=x onerror=alert(1)>";
constexpr const char* hostileLocation = "</td></tr></table><h1>чужой заголовок</h1>";

struct Seed {
    std::string id;
    std::string deviceId;
    std::string receivedAt;
    std::string name;
    std::string model;
    std::uint64_t memoryBytes;
    double cpuSingle;
    std::string owner = "Отдел испытаний";
    std::string location = "Корпус Б";
};

// The seeded fleet:
// - 55 computers of the series "П", one record each (pages of the list);
// - 6 computers of the model "Стенд-М" measuring 100…600 (percentiles);
// - one computer with three records whose memory goes 32 → 32 → 16 GB;
// - one record with hostile texts.
std::vector<Seed> seeds() {
    std::vector<Seed> all;
    for (int i = 0; i < 55; ++i) {
        char time[32];
        std::snprintf(time, sizeof time, "2026-02-%02dT%02d:%02d:00Z", 1 + i % 20, 8 + i % 10, i);
        all.push_back({"p-" + std::to_string(i), "dev-p-" + std::to_string(i), time, "Серийный " + std::to_string(i),
                       "Серия-П", 8ULL << 30, 50.0 + i});
    }
    for (int i = 1; i <= 6; ++i)
        all.push_back({"m-" + std::to_string(i), "dev-m-" + std::to_string(i),
                       "2026-03-0" + std::to_string(i) + "T12:00:00Z", "Стенд " + std::to_string(i), "Стенд-М",
                       16ULL << 30, 100.0 * i});
    const char* memoryTimes[] = {"2026-03-10T09:00:00Z", "2026-03-11T09:00:00Z", "2026-03-12T09:00:00Z"};
    const std::uint64_t memory[] = {32ULL << 30, 32ULL << 30, 16ULL << 30};
    for (int i = 0; i < 3; ++i)
        all.push_back({"mem-" + std::to_string(i), "dev-mem", memoryTimes[i], "Стенд 7", "Рабочая-Р", memory[i],
                       10.0 * (i + 1)});
    all.push_back({"hostile", "dev-hostile", "2026-03-13T09:00:00Z", hostileName, "Рабочая-Р", 8ULL << 30, 1.0,
                   hostileOwner, hostileLocation});
    return all;
}

RunReport reportOf(const Seed& seed) {
    RunReport report = testing::sampleReport();
    report.id = seed.id;
    report.device_id = seed.deviceId;
    report.created_at = seed.receivedAt;
    report.name = seed.name;
    report.owner = seed.owner;
    report.location = seed.location;
    report.system.model = seed.model;
    report.system.memory_bytes = seed.memoryBytes;
    report.metrics[0].value = seed.cpuSingle;
    report.metrics[0].samples = {seed.cpuSingle};
    return report;
}

std::vector<std::string> rowIds(const std::string& dom) {
    static const std::regex row(R"re(<tr class="run" data-id="([^"]*)")re");
    std::vector<std::string> ids;
    for (auto it = std::sregex_iterator(dom.begin(), dom.end(), row); it != std::sregex_iterator(); ++it)
        ids.push_back((*it)[1].str());
    return ids;
}

std::size_t count(const std::string& text, const std::string& part) {
    std::size_t found = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++found;
    return found;
}

// The href of the link marked rel="<rel>", as the page's own address, or empty.
std::string linkMarked(const std::string& dom, const std::string& rel) {
    const std::regex link("<a rel=\"" + rel + "\" href=\"([^\"]*)\"");
    std::smatch found;
    if (!std::regex_search(dom, found, link)) return {};
    std::string href = found[1].str();
    for (std::size_t at = href.find("&amp;"); at != std::string::npos; at = href.find("&amp;", at + 1))
        href.replace(at, 5, "&");
    return href;
}

class FleetPagesInBrowser : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder = new testing::ScratchFolder;
        const auto database = folder->path() / "depot.sqlite";
        {
            SqliteStore store(database);
            for (const Seed& seed : seeds()) {
                const RunReport report = reportOf(seed);
                NewRun run = fleetColumns(report);
                run.keyDigest = receiptKeyDigest(std::string(64, 'a'));
                run.body = report.data();
                run.receivedAt = seed.receivedAt;
                ASSERT_EQ(store.store(run), StoreOutcome::stored);
            }
        }
        depot = new testing::BackgroundProcess({NVX_DEPOT_BINARY, "--listen", "127.0.0.1:0", "--db", database.string()},
                                               R"(nvx-depot слушает (http://127\.0\.0\.1:\d+)\n)");
    }
    static void TearDownTestSuite() {
        delete depot;
        depot = nullptr;
        delete folder;
        folder = nullptr;
    }
    static std::string url(const std::string& target) { return depot->match() + target; }
    static std::filesystem::path screenshotFile(const std::string& name) {
        return std::filesystem::path(NVX_SCREENSHOT_DIR) / (name + ".png");
    }

    testing::HeadlessBrowser browser;
    static testing::ScratchFolder* folder;
    static testing::BackgroundProcess* depot;
};

testing::ScratchFolder* FleetPagesInBrowser::folder = nullptr;
testing::BackgroundProcess* FleetPagesInBrowser::depot = nullptr;

TEST_F(FleetPagesInBrowser, PagingReachesEveryRecordOnceAndComesBack) {
    std::set<std::string> expected;
    for (const Seed& seed : seeds()) expected.insert(seed.id);
    std::vector<std::string> seen;
    std::vector<std::vector<std::string>> pages;
    std::string target = "/";
    while (!target.empty() && pages.size() < 10) {
        const std::string dom = browser.dumpDOM(url(target));
        pages.push_back(rowIds(dom));
        seen.insert(seen.end(), pages.back().begin(), pages.back().end());
        target = linkMarked(dom, "next");
    }
    EXPECT_EQ(pages.size(), 2u);
    EXPECT_EQ(seen.size(), expected.size());
    EXPECT_EQ(std::set<std::string>(seen.begin(), seen.end()), expected);
    EXPECT_EQ(seen.front(), "hostile");  // newest first

    // Back from the second page: the first page again, whole.
    const std::string second = browser.dumpDOM(url(linkMarked(browser.dumpDOM(url("/")), "next")));
    const std::string back = browser.dumpDOM(url(linkMarked(second, "prev")));
    EXPECT_EQ(rowIds(back), pages.front());
    EXPECT_TRUE(linkMarked(back, "prev").empty());
    browser.screenshot(url("/"), screenshotFile("fleet-list"));
}

TEST_F(FleetPagesInBrowser, FiltersNarrowTheList) {
    using Ids = std::vector<std::string>;
    EXPECT_EQ(rowIds(browser.dumpDOM(url("/?model=%D0%A1%D1%82%D0%B5%D0%BD%D0%B4-%D0%9C"))),
              (Ids{"m-6", "m-5", "m-4", "m-3", "m-2", "m-1"}));  // Стенд-М
    // Text in the name, whatever the letter case: "СТЕНД 7".
    EXPECT_EQ(rowIds(browser.dumpDOM(url("/?q=%D0%A1%D0%A2%D0%95%D0%9D%D0%94+7"))), (Ids{"mem-2", "mem-1", "mem-0"}));
    EXPECT_EQ(rowIds(browser.dumpDOM(url("/?device=dev-m-3"))), Ids{"m-3"});
    EXPECT_EQ(rowIds(browser.dumpDOM(url("/?from=2026-03-02&to=2026-03-03"))), (Ids{"m-3", "m-2"}));
    const std::string combined = browser.dumpDOM(url("/?model=%D0%A0%D0%B0%D0%B1%D0%BE%D1%87%D0%B0%D1%8F-%D0%A0"
                                                     "&from=2026-03-11&q=%D1%81%D1%82%D0%B5%D0%BD%D0%B4"));
    EXPECT_EQ(rowIds(combined), (Ids{"mem-2", "mem-1"}));
    EXPECT_NE(combined.find("value=\"2026-03-11\""), std::string::npos);  // the form shows what was asked
    browser.screenshot(url("/?model=%D0%A1%D1%82%D0%B5%D0%BD%D0%B4-%D0%9C"), screenshotFile("fleet-list-filtered"),
                       1280, 900);
}

TEST_F(FleetPagesInBrowser, DeviceChartsHaveOnePointPerRunAndTheMemoryChangeShowsOnce) {
    const std::string dom = browser.dumpDOM(url("/devices/dev-mem"));
    const std::regex chart("data-metric=\"cpu_single\"><svg[^]*?</svg>");
    std::smatch found;
    ASSERT_TRUE(std::regex_search(dom, found, chart));
    EXPECT_EQ(count(found.str(), "<circle class=\"point\""), 3u);
    EXPECT_NE(found.str().find("10.03.2026"), std::string::npos);
    EXPECT_NE(found.str().find("12.03.2026"), std::string::npos);
    EXPECT_NE(found.str().find("M итераций/с"), std::string::npos);
    EXPECT_EQ(count(dom, "Память: 32 GB → 16 GB"), 1u);
    browser.screenshot(url("/devices/dev-mem"), screenshotFile("device"), 1280, 2400);

    const std::string changes = browser.dumpDOM(url("/changes"));
    EXPECT_EQ(count(changes, "Память: 32 GB → 16 GB"), 1u);
    EXPECT_EQ(count(changes, "<tr class=\"change\""), 1u);
    EXPECT_NE(changes.find("Стенд 7"), std::string::npos);
    EXPECT_EQ(count(browser.dumpDOM(url("/changes?kind=usb")), "<tr class=\"change\""), 0u);
    EXPECT_EQ(count(browser.dumpDOM(url("/changes?kind=memory")), "<tr class=\"change\""), 1u);
    browser.screenshot(url("/changes"), screenshotFile("changes"), 1280, 700);
}

TEST_F(FleetPagesInBrowser, RecordPageSaysWhereTheRunStandsAmongItsModel) {
    const std::string dom = browser.dumpDOM(url("/?run=m-4"));
    // 400 among 100…600: three below, itself equal, two above: (3 + 0,5) / 6.
    EXPECT_NE(dom.find("400 M итераций/с: 58-й процентиль среди 6 компьютеров (ниже — 3, столько же — 1, выше — 2)."),
              std::string::npos);
    EXPECT_EQ(count(dom, "class=\"distribution\""), 1u);
    // Three computers of "Рабочая-Р": too few to compare.
    EXPECT_NE(browser.dumpDOM(url("/?run=mem-2")).find("сейчас их 2"), std::string::npos);
    browser.screenshot(url("/?run=m-4"), screenshotFile("record"), 1280, 2000);
}

TEST_F(FleetPagesInBrowser, HostileTextsStayText) {
    for (const char* target : {"/", "/?run=hostile", "/devices/dev-hostile", "/?q=%3Cscript%3E"}) {
        const std::string dom = browser.dumpDOM(url(target));
        EXPECT_EQ(dom.find("<script"), std::string::npos) << target;
        EXPECT_EQ(dom.find("<img"), std::string::npos) << target;
        EXPECT_EQ(dom.find("<h1>чужой заголовок"), std::string::npos) << target;
        EXPECT_EQ(dom.find("взломано</title>"), std::string::npos) << target;
        EXPECT_NE(dom.find("&lt;script&gt;document.title="), std::string::npos) << target;
    }
}

}  // namespace
}  // namespace nvx::depot
