// The store's fleet queries: keyset pages, filters, a device's records,
// hardware steps, the newest record per device, and the columns a file of an
// older layout gets from its bodies.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <set>

#include "depot/hardware_profile.h"
#include "depot/run_columns.h"
#include "depot/sqlite_store.h"
#include "store_backends.h"
#include "support/sample_reports.h"
#include "support/scratch_folder.h"

namespace nvx::depot {
namespace {

template <typename SetUp>
RunFilter with(SetUp setUp) {
    RunFilter filter;
    setUp(filter);
    return filter;
}

const std::string key(64, 'a');

NewRun fleetRun(const std::string& id, const std::string& receivedAt, const std::string& device,
                const std::string& hardware = "{}") {
    NewRun run;
    run.id = id;
    run.keyDigest = receiptKeyDigest(key);
    run.body = "{\"id\": \"" + id + "\"}";
    run.receivedAt = receivedAt;
    run.name = "Стенд " + id;
    run.owner = "Отдел испытаний";
    run.location = "Корпус Б";
    run.model = "Model-1";
    run.deviceId = device;
    run.chip = "Chip X";
    run.memoryBytes = 16ULL << 30;
    run.metrics[0] = 100.5;
    run.hardware = hardware;
    return run;
}

std::vector<std::string> ids(const std::vector<RunSummary>& runs) {
    std::vector<std::string> result;
    for (const auto& run : runs) result.push_back(run.id);
    return result;
}

template <typename Database>
class FleetStoreOn : public ::testing::Test {
protected:
    Database database;
    std::unique_ptr<DepotStore> opened = database.open();
    DepotStore& store = *opened;
};
TYPED_TEST_SUITE(FleetStoreOn, StoreBackends, StoreBackendNames);

TYPED_TEST(FleetStoreOn, PagesReachEveryRecordOnceInBothDirections) {
    // Several records share a second: the id orders them.
    std::vector<std::string> newestFirst;
    for (int i = 0; i < 23; ++i) {
        const std::string id = "r" + std::to_string(100 + i);
        const std::string time = "2026-03-01T10:00:" + std::to_string(10 + i / 3) + "Z";
        ASSERT_EQ(this->store.store(fleetRun(id, time, "dev")), StoreOutcome::stored);
        newestFirst.insert(newestFirst.begin(), id);
    }
    std::vector<std::vector<std::string>> pages;
    std::optional<RunCursor> cursor;
    for (;;) {
        const auto page = this->store.runsPage({}, cursor, PageDirection::older, 5);
        if (page.empty()) break;
        pages.push_back(ids(page));
        cursor = RunCursor{page.back().receivedAt, page.back().id};
    }
    std::vector<std::string> seen;
    for (const auto& page : pages) seen.insert(seen.end(), page.begin(), page.end());
    EXPECT_EQ(seen, newestFirst);
    ASSERT_EQ(pages.size(), 5u);
    EXPECT_EQ(pages.back().size(), 3u);

    // Back from the first line of the third page: the second page, newest first.
    const auto third = this->store.runsPage({}, RunCursor{"", ""}, PageDirection::older, 0);
    EXPECT_TRUE(third.empty());
    const auto thirdPage = this->store.runsPage({}, RunCursor{"2026-03-01T10:00:14Z", "r113"}, PageDirection::older, 5);
    ASSERT_EQ(ids(thirdPage), pages[2]);
    const auto back = this->store.runsPage({}, RunCursor{thirdPage.front().receivedAt, thirdPage.front().id},
                                           PageDirection::newer, 5);
    EXPECT_EQ(ids(back), pages[1]);
    // Nothing is newer than the newest.
    EXPECT_TRUE(this->store.runsPage({}, RunCursor{"2026-03-01T10:00:17Z", "r122"}, PageDirection::newer, 5).empty());
}

TYPED_TEST(FleetStoreOn, FiltersNarrowTheListAndCombine) {
    auto run = [](const std::string& id, const std::string& time, const std::string& model, const std::string& name,
                  const std::string& device) {
        NewRun made = fleetRun(id, time, device);
        made.model = model;
        made.name = name;
        return made;
    };
    this->store.store(run("a", "2026-03-01T09:00:00Z", "Mac14,7", "Стенд 7", "d1"));
    this->store.store(run("b", "2026-03-02T09:00:00Z", "Mac14,7", "Монтажная", "d2"));
    this->store.store(run("c", "2026-03-03T09:00:00Z", "ThinkPad", "СТЕНД 8", "d3"));
    this->store.store(run("d", "2026-03-04T09:00:00Z", "ThinkPad", "100% готов_о", "d3"));
    this->store.store(run("e", "2026-03-05T09:00:00Z", "Mac14,7", "Ёлка", "d1"));
    auto filtered = [&](RunFilter filter) {
        return ids(this->store.runsPage(filter, std::nullopt, PageDirection::older, 50));
    };
    using V = std::vector<std::string>;
    EXPECT_EQ(filtered(with([](RunFilter& f) { f.model = "Mac14,7"; })), (V{"e", "b", "a"}));
    EXPECT_EQ(filtered(with([](RunFilter& f) { f.model = "Mac14"; })), V{});  // the model exactly, not a part of it
    EXPECT_EQ(filtered(with([](RunFilter& f) { f.text = "стенд"; })), (V{"c", "a"}));
    EXPECT_EQ(filtered(with([](RunFilter& f) { f.text = "ёЛК"; })), V{"e"});
    EXPECT_EQ(filtered(with([](RunFilter& f) { f.text = "ИСПЫТАНИЙ"; })).size(), 5u);  // the owner
    EXPECT_EQ(filtered(with([](RunFilter& f) { f.text = "корпус б"; })).size(), 5u);   // the location
    // Search texts are texts, not patterns.
    EXPECT_EQ(filtered(with([](RunFilter& f) { f.text = "0% г"; })), V{"d"});
    EXPECT_EQ(filtered(with([](RunFilter& f) { f.text = "%"; })), V{"d"});
    EXPECT_EQ(filtered(with([](RunFilter& f) { f.text = "_"; })), V{"d"});
    // Never across two fields; a line break searches as a space.
    EXPECT_EQ(filtered(with([](RunFilter& f) { f.text = "a\nотдел"; })), V{});
    EXPECT_EQ(filtered(with([](RunFilter& f) { f.text = "стенд\t7"; })), V{"a"});
    EXPECT_EQ(filtered(with([](RunFilter& f) { f.deviceId = "d3"; })), (V{"d", "c"}));
    EXPECT_EQ(filtered(with([](RunFilter& f) {
                  f.receivedFrom = "2026-03-02";
                  f.receivedBefore = "2026-03-04";
              })),
              (V{"c", "b"}));
    EXPECT_EQ(filtered(with([](RunFilter& f) {
                  f.model = "Mac14,7";
                  f.text = "стенд";
                  f.deviceId = "d1";
                  f.receivedFrom = "2026-03-01";
              })),
              V{"a"});
    // Filters hold on every page.
    const auto first =
        this->store.runsPage(with([](RunFilter& f) { f.model = "Mac14,7"; }), std::nullopt, PageDirection::older, 2);
    const auto second =
        this->store.runsPage(with([](RunFilter& f) { f.model = "Mac14,7"; }),
                             RunCursor{first.back().receivedAt, first.back().id}, PageDirection::older, 2);
    EXPECT_EQ(ids(second), V{"a"});
}

TYPED_TEST(FleetStoreOn, KeepsEveryColumnOfTheSummary) {
    NewRun run = fleetRun("x", "2026-03-01T09:00:00Z", "dev-x");
    run.metrics = {1.5, std::nullopt, 3.25, 0.0, std::nullopt, 6e9};
    this->store.store(run);
    const auto page = this->store.runsPage({}, std::nullopt, PageDirection::older, 1);
    ASSERT_EQ(page.size(), 1u);
    const RunSummary& found = page[0];
    EXPECT_EQ(found.name, "Стенд x");
    EXPECT_EQ(found.owner, "Отдел испытаний");
    EXPECT_EQ(found.location, "Корпус Б");
    EXPECT_EQ(found.model, "Model-1");
    EXPECT_EQ(found.deviceId, "dev-x");
    EXPECT_EQ(found.chip, "Chip X");
    EXPECT_EQ(found.memoryBytes, 16ULL << 30);
    EXPECT_EQ(found.metrics, run.metrics);
}

TYPED_TEST(FleetStoreOn, HardwareStepsAreRecordsWhoseHardwareDiffersFromTheDevicesRecordBefore) {
    this->store.store(fleetRun("a1", "2026-03-01T09:00:00Z", "A", "h1"));
    this->store.store(fleetRun("b1", "2026-03-01T09:30:00Z", "B", "h2"));  // another device, other hardware
    this->store.store(fleetRun("a2", "2026-03-02T09:00:00Z", "A", "h1"));
    this->store.store(fleetRun("a3", "2026-03-03T09:00:00Z", "A", "h3"));
    this->store.store(fleetRun("a4", "2026-03-04T09:00:00Z", "A", ""));  // unreadable: says nothing
    this->store.store(fleetRun("a5", "2026-03-05T09:00:00Z", "A", "h3"));
    this->store.store(fleetRun("n1", "2026-03-05T10:00:00Z", "", "h1"));  // no device
    this->store.store(fleetRun("n2", "2026-03-05T11:00:00Z", "", "h9"));
    auto steps = this->store.hardwareSteps(std::nullopt, 10);
    ASSERT_EQ(steps.size(), 1u);
    EXPECT_EQ(steps[0].run.id, "a3");
    EXPECT_EQ(steps[0].hardwareBefore, "h1");
    EXPECT_EQ(steps[0].hardwareAfter, "h3");

    // A record with an earlier time than one stored (another depot's clock)
    // lands between two records, and both of its neighbours are judged anew.
    this->store.store(fleetRun("a0", "2026-03-02T12:00:00Z", "A", "h7"));
    steps = this->store.hardwareSteps(std::nullopt, 10);
    std::vector<std::string> stepIds;
    for (const auto& step : steps) stepIds.push_back(step.run.id);
    EXPECT_EQ(stepIds, (std::vector<std::string>{"a3", "a0"}));
    EXPECT_EQ(steps[0].hardwareBefore, "h7");
    EXPECT_EQ(steps[1].hardwareBefore, "h1");
    // Paged by the same cursor as the list.
    const auto older = this->store.hardwareSteps(RunCursor{steps[0].run.receivedAt, steps[0].run.id}, 10);
    ASSERT_EQ(older.size(), 1u);
    EXPECT_EQ(older[0].run.id, "a0");

    const auto runs = this->store.deviceRuns("A");
    std::vector<std::string> deviceIds;
    for (const auto& run : runs) deviceIds.push_back(run.run.id);
    EXPECT_EQ(deviceIds, (std::vector<std::string>{"a1", "a2", "a0", "a3", "a4", "a5"}));
    EXPECT_EQ(runs[2].hardware, "h7");
    EXPECT_TRUE(this->store.deviceRuns("").empty());
    EXPECT_TRUE(this->store.deviceRuns("nobody").empty());
}

TYPED_TEST(FleetStoreOn, TheNewestRecordOfEachDeviceFeedsExportsAndPercentiles) {
    auto run = [](const std::string& id, const std::string& time, const std::string& device, const std::string& model,
                  std::optional<double> single) {
        NewRun made = fleetRun(id, time, device);
        made.model = model;
        made.metrics = {single, 7.0, std::nullopt, std::nullopt, std::nullopt, std::nullopt};
        return made;
    };
    this->store.store(run("c-old", "2026-03-01T09:00:00Z", "c", "M", 1.0));
    this->store.store(run("a-only", "2026-03-01T10:00:00Z", "a", "M", 2.0));
    this->store.store(run("c-new", "2026-03-02T09:00:00Z", "c", "M", 3.0));
    this->store.store(run("b-new", "2026-03-03T09:00:00Z", "b", "M", std::nullopt));
    this->store.store(run("b-old", "2026-03-01T08:00:00Z", "b", "M", 9.0));  // arrives late, is older
    this->store.store(run("z", "2026-03-03T09:00:00Z", "z", "Other", 5.0));
    this->store.store(run("lonely", "2026-03-04T09:00:00Z", "", "M", 8.0));  // no device
    std::vector<std::string> exported;
    this->store.forEachLatestRun([&](const RunSummary& summary) { exported.push_back(summary.id); });
    EXPECT_EQ(exported, (std::vector<std::string>{"a-only", "b-new", "c-new", "z"}));

    auto values = this->store.latestMetricValues("M", 0);
    std::sort(values.begin(), values.end());
    EXPECT_EQ(values, (std::vector<double>{2.0, 3.0}));  // b's newest record skipped it
    EXPECT_EQ(this->store.latestMetricValues("M", 1).size(), 3u);
    EXPECT_TRUE(this->store.latestMetricValues("M", 2).empty());
    EXPECT_TRUE(this->store.latestMetricValues("M", fleetMetricCount).empty());
    EXPECT_TRUE(this->store.latestMetricValues("Nope", 0).empty());

    // The visitor stops the walk by throwing; the store stays usable.
    int visited = 0;
    EXPECT_THROW(this->store.forEachLatestRun([&](const RunSummary&) {
        if (++visited == 2) throw std::runtime_error("client gone");
    }),
                 std::runtime_error);
    EXPECT_EQ(visited, 2);
    EXPECT_EQ(this->store.runsPage({}, std::nullopt, PageDirection::older, 100).size(), 7u);
}

// Bulk seeding is SQLite's own (benchmarks), not part of DepotStore.
TEST(FleetStoreSqlite, StoringManyAtOnceJudgesEachAsIfOneByOne) {
    testing::ScratchFolder folder;
    SqliteStore store{folder.path() / "depot.sqlite"};
    NewRun other = fleetRun("a", "2026-03-01T09:00:00Z", "A", "h2");
    other.body = "{other}";
    const auto outcomes = store.storeAll({fleetRun("a", "2026-03-01T09:00:00Z", "A", "h1"),
                                          fleetRun("b", "2026-03-02T09:00:00Z", "A", "h2"),
                                          fleetRun("a", "2026-03-01T09:00:00Z", "A", "h1"), other});
    EXPECT_EQ(outcomes, (std::vector<StoreOutcome>{StoreOutcome::stored, StoreOutcome::stored,
                                                   StoreOutcome::alreadyStored, StoreOutcome::differentBody}));
    EXPECT_EQ(store.hardwareSteps(std::nullopt, 10).size(), 1u);
    EXPECT_EQ(store.store(fleetRun("c", "2026-03-03T09:00:00Z", "A", "h2")), StoreOutcome::stored);
    std::vector<std::string> exported;
    store.forEachLatestRun([&](const RunSummary& summary) { exported.push_back(summary.id); });
    EXPECT_EQ(exported, std::vector<std::string>{"c"});
}

TEST(FleetStoreUpgrade, AFileOfTheSecondLayoutGetsItsColumnsFromTheBodies) {
    testing::ScratchFolder folder;
    const auto file = folder.path() / "depot.sqlite";
    RunReport first = testing::sampleReport();
    RunReport second = testing::sampleReport();
    second.id = "second";
    second.system.memory_bytes = 8ULL << 30;  // a module was taken out
    {
        // Layout 1: keys in their own table, no fleet columns.
        sqlite3* database = nullptr;
        ASSERT_EQ(sqlite3_open(file.c_str(), &database), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(database,
                               "CREATE TABLE runs (sequence INTEGER PRIMARY KEY, id TEXT NOT NULL UNIQUE,"
                               " key_sha256 BLOB NOT NULL, body BLOB NOT NULL, received_at TEXT NOT NULL,"
                               " name TEXT NOT NULL, owner TEXT NOT NULL, location TEXT NOT NULL, model TEXT NOT NULL);"
                               "CREATE TABLE receipt_keys (id TEXT NOT NULL, key_sha256 BLOB NOT NULL,"
                               " PRIMARY KEY (id, key_sha256)) WITHOUT ROWID; PRAGMA user_version = 1;",
                               nullptr, nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(database, "INSERT INTO runs VALUES (?1, ?2, x'00', ?3, ?4, ?5, 'o', 'l', ?6)", -1, &insert,
                           nullptr);
        const std::string bodies[] = {first.data(), second.data(), "not json"};
        const std::string runIds[] = {first.id, second.id, "broken"};
        const char* times[] = {"2026-03-01T09:00:00Z", "2026-03-02T09:00:00Z", "2026-03-03T09:00:00Z"};
        for (int i = 0; i < 3; ++i) {
            sqlite3_bind_int(insert, 1, i + 1);
            sqlite3_bind_text(insert, 2, runIds[i].c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_blob(insert, 3, bodies[i].data(), static_cast<int>(bodies[i].size()), SQLITE_TRANSIENT);
            sqlite3_bind_text(insert, 4, times[i], -1, SQLITE_STATIC);
            sqlite3_bind_text(insert, 5, i == 2 ? "Сломанная" : "Монтажная №2", -1, SQLITE_STATIC);
            sqlite3_bind_text(insert, 6, "Mac14,7", -1, SQLITE_STATIC);
            EXPECT_EQ(sqlite3_step(insert), SQLITE_DONE);
            sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
        sqlite3_close(database);
    }
    {
        SqliteStore store(file);
        const auto page =
            store.runsPage(with([](RunFilter& f) { f.text = "монтажная"; }), std::nullopt, PageDirection::older, 10);
        ASSERT_EQ(page.size(), 2u);
        EXPECT_EQ(page[1].id, first.id);
        EXPECT_EQ(page[1].deviceId, first.device_id);
        EXPECT_EQ(page[1].chip, "Apple M2");
        EXPECT_EQ(page[1].memoryBytes, 17179869184ULL);
        EXPECT_EQ(page[1].metrics[0], 412.73125);
        EXPECT_FALSE(page[1].metrics[3]);  // skipped
        EXPECT_EQ(
            store.runsPage(with([](RunFilter& f) { f.text = "сломанная"; }), std::nullopt, PageDirection::older, 10)
                .size(),
            1u);
        const auto steps = store.hardwareSteps(std::nullopt, 10);
        ASSERT_EQ(steps.size(), 1u);
        EXPECT_EQ(steps[0].run.id, "second");
        EXPECT_EQ(HardwareProfile::decoded(steps[0].hardwareBefore)->memoryBytes, 16ULL << 30);
        std::vector<std::string> exported;
        store.forEachLatestRun([&](const RunSummary& summary) { exported.push_back(summary.id); });
        EXPECT_EQ(exported, std::vector<std::string>{"second"});
        // The device of the old records takes new ones; the module is back.
        NewRun third = fleetColumns(first);
        third.id = "third";
        third.keyDigest = receiptKeyDigest(key);
        third.body = "{}";
        third.receivedAt = "2026-03-04T09:00:00Z";
        EXPECT_EQ(store.store(third), StoreOutcome::stored);
    }
    SqliteStore reopened(file);
    EXPECT_EQ(reopened.hardwareSteps(std::nullopt, 10).size(), 2u);
    std::vector<std::string> exported;
    reopened.forEachLatestRun([&](const RunSummary& summary) { exported.push_back(summary.id); });
    EXPECT_EQ(exported, std::vector<std::string>{"third"});
}

TEST(SearchFolding, CapitalsOfLatinAndCyrillicBecomeSmall) {
    EXPECT_EQ(foldedForSearch("АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ"), "абвгдеёжзийклмнопрстуфхцчшщъыьэюя");
    EXPECT_EQ(foldedForSearch("ABC xyz 7 ÄÉ"), "abc xyz 7 ÄÉ");                  // others stay as they are
    EXPECT_EQ(foldedForSearch(std::string("\xD0", 1)), std::string("\xD0", 1));  // a cut letter is left alone
    EXPECT_EQ(foldedForSearch("a\nb\tc\x7F"), "a b c ");
}

}  // namespace
}  // namespace nvx::depot
