// The fleet routes of the depot's service over loopback HTTP: who may see
// them, the streamed exports, and an export whose store fails on the way.

#include <gtest/gtest.h>
#include <httplib.h>

#include <mutex>
#include <nlohmann/json.hpp>

#include "depot/depot_server.h"
#include "depot/depot_service.h"
#include "depot/password_hash.h"
#include "depot/sqlite_store.h"
#include "depot/viewers.h"
#include "support/sample_reports.h"
#include "support/scratch_folder.h"

namespace nvx::depot {
namespace {

const char* const fleetTargets[] = {"/", "/devices/dev-1", "/changes", "/export.csv", "/export.json"};

struct ServedFleet {
    explicit ServedFleet(DepotStore* other = nullptr, DepotService::ViewerSource viewers = nullptr)
        : service(
              other != nullptr ? *other : store, nullptr, [this] { return nextMoment(); }, std::move(viewers)) {
        service.install(server);
        port = server.bindAndListen("127.0.0.1", 0);
        server.start();
    }
    ~ServedFleet() { server.stop(); }

    int post(RunReport report) {
        httplib::Client client("127.0.0.1", port);
        const auto answer =
            client.Post("/api/runs", {{"X-NVX-Receipt-Key", std::string(64, 'a')}}, report.data(), "application/json");
        return answer ? answer->status : -1;
    }

    // Each report is received a minute after the one before, so the order of
    // arrival is the order of time.
    std::string nextMoment() {
        std::lock_guard lock(clockLock);
        char text[32];
        std::snprintf(text, sizeof text, "2026-03-01T%02d:%02d:00Z", 9 + minutes / 60, minutes % 60);
        ++minutes;
        return text;
    }

    std::mutex clockLock;
    int minutes = 0;
    testing::ScratchFolder folder;
    SqliteStore store{folder.path() / "depot.sqlite"};
    DepotServer server;
    DepotService service;
    int port = -1;
};

RunReport reportOf(const std::string& id, const std::string& device, double cpuSingle) {
    RunReport report = testing::sampleReport();
    report.id = id;
    report.device_id = device;
    report.name = "Стенд, \"" + device + "\"";
    report.metrics[0].value = cpuSingle;
    return report;
}

TEST(FleetRoutes, OnlyViewersSeeThemAndOthersGetNoFleetData) {
    const auto viewers = ViewerList::parse("anna:" + hashPassword("пароль", {4, 8, 1}) + "\n", "viewers");
    ServedFleet guarded(nullptr, [&viewers] { return viewers; });
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(guarded.post(reportOf("r" + std::to_string(i), "dev-" + std::to_string(i), 100.0 * i)), 200);
    httplib::Client stranger("127.0.0.1", guarded.port);
    for (const char* target : fleetTargets) {
        const auto answer = stranger.Get(target);
        ASSERT_TRUE(answer) << target;
        EXPECT_EQ(answer->status, 401) << target;
        EXPECT_EQ(answer->body.find("Стенд"), std::string::npos) << target;
    }
    // The record page stays open, without the comparison with the fleet.
    const auto record = stranger.Get("/?run=r3");
    EXPECT_EQ(record->status, 200);
    EXPECT_EQ(record->body.find("процентиль"), std::string::npos);
    httplib::Client anna("127.0.0.1", guarded.port);
    anna.set_basic_auth("anna", "пароль");
    for (const char* target : fleetTargets) EXPECT_EQ(anna.Get(target)->status, 200) << target;
    const auto compared = anna.Get("/?run=r3");
    EXPECT_NE(compared->body.find("300 M итераций/с: 70-й процентиль среди 5 компьютеров"), std::string::npos);
    EXPECT_EQ(compared->get_header_value("Cache-Control"), "private, no-store");

    // Without viewers: this machine only, never through a proxy.
    ServedFleet local;
    httplib::Client proxied("127.0.0.1", local.port);
    for (const char* target : fleetTargets)
        EXPECT_EQ(proxied.Get(target, {{"X-Forwarded-For", "192.0.2.7"}})->status, 403) << target;
}

TEST(FleetRoutes, ExportsStreamTheNewestRecordOfEveryDevice) {
    ServedFleet depot;
    ASSERT_EQ(depot.post(reportOf("old", "dev-1", 1)), 200);
    ASSERT_EQ(depot.post(reportOf("other", "dev-2", 2)), 200);
    ASSERT_EQ(depot.post(reportOf("new", "dev-1", 3)), 200);
    httplib::Client client("127.0.0.1", depot.port);
    const auto csv = client.Get("/export.csv");
    ASSERT_TRUE(csv);
    EXPECT_EQ(csv->status, 200);
    EXPECT_EQ(csv->get_header_value("Transfer-Encoding"), "chunked");
    EXPECT_EQ(csv->get_header_value("Content-Type"), "text/csv; charset=utf-8; header=present");
    EXPECT_EQ(csv->get_header_value("Cache-Control"), "private, no-store");
    const std::string& body = csv->body;
    EXPECT_EQ(std::count(body.begin(), body.end(), '\n'), 3);
    EXPECT_NE(body.find("\r\ndev-1,new,"), std::string::npos);
    EXPECT_NE(body.find(",\"Стенд, \"\"dev-1\"\"\","), std::string::npos);
    EXPECT_EQ(body.find(",old,"), std::string::npos);

    const auto json = client.Get("/export.json");
    ASSERT_TRUE(json);
    const auto rows = nlohmann::json::parse(json->body);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0]["run_id"], "new");
    EXPECT_EQ(rows[0]["metrics"]["cpu_single"], 3.0);
    EXPECT_EQ(rows[1]["device_id"], "dev-2");

    EXPECT_EQ(client.Get("/devices/dev-1")->status, 200);
    EXPECT_EQ(client.Get("/devices/nobody")->status, 404);
}

// A store that fails in the middle of an export.
class BrokenExportStore final : public DepotStore {
public:
    explicit BrokenExportStore(DepotStore& inner) : inner_(inner) {}
    StoreOutcome store(const NewRun& run) override { return inner_.store(run); }
    std::optional<StoredRun> find(std::string_view id) override { return inner_.find(id); }
    std::optional<StoredRun> findWithKey(std::string_view id, const KeyDigest& key) override {
        return inner_.findWithKey(id, key);
    }
    std::vector<RunListing> latest(std::size_t limit) override { return inner_.latest(limit); }
    std::vector<RunSummary> runsPage(const RunFilter& filter, const std::optional<RunCursor>& cursor,
                                     PageDirection direction, std::size_t limit) override {
        return inner_.runsPage(filter, cursor, direction, limit);
    }
    std::vector<DeviceRun> deviceRuns(std::string_view deviceId) override { return inner_.deviceRuns(deviceId); }
    std::vector<HardwareStep> hardwareSteps(const std::optional<RunCursor>& cursor, std::size_t limit) override {
        return inner_.hardwareSteps(cursor, limit);
    }
    void forEachLatestRun(const std::function<void(const RunSummary&)>& visit) override {
        int rows = 0;
        inner_.forEachLatestRun([&](const RunSummary& run) {
            if (++rows > 2000) throw StorageError("Диск отвалился.");
            visit(run);
        });
    }
    std::vector<double> latestMetricValues(std::string_view model, std::size_t metricIndex) override {
        return inner_.latestMetricValues(model, metricIndex);
    }

private:
    DepotStore& inner_;
};

TEST(FleetRoutes, AnExportThatFailsIsCutShortNeverCompleteLooking) {
    testing::ScratchFolder folder;
    SqliteStore store(folder.path() / "depot.sqlite");
    std::vector<NewRun> runs;
    for (int i = 0; i < 3000; ++i) {
        NewRun run;
        run.id = "r" + std::to_string(i);
        run.deviceId = "dev-" + std::to_string(i);
        run.body = "{}";
        run.receivedAt = "2026-03-01T09:00:00Z";
        run.name = std::string(100, 'x');
        runs.push_back(run);
    }
    store.storeAll(runs);
    BrokenExportStore broken(store);
    ServedFleet depot(&broken);
    httplib::Client client("127.0.0.1", depot.port);
    const auto cut = client.Get("/export.csv");
    // The answer began with 200; a chunked answer without its last chunk is
    // an error to every client, never a short file that looks whole.
    EXPECT_FALSE(cut) << "the client took a cut export for a whole one";
    httplib::Client next("127.0.0.1", depot.port);
    EXPECT_EQ(next.Get("/changes")->status, 200);  // the depot goes on
}

}  // namespace
}  // namespace nvx::depot
