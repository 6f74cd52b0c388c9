#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <thread>

#include "core/errors.h"
#include "depot/depot_server.h"
#include "depot/depot_service.h"
#include "depot/password_hash.h"
#include "depot/sqlite_store.h"
#include "depot/viewers.h"
#include "support/sample_reports.h"
#include "support/scratch_folder.h"
#include "upload/depotrium_api.h"

namespace nvx::depot {
namespace {

const std::string keyA(64, 'a');
const std::string keyB(64, 'b');

// The depot's service on 127.0.0.1 and a port the system picked, over a
// database in a scratch folder.
class RunningDepot : public ::testing::Test {
protected:
    RunningDepot() {
        service.install(server);
        port = server.bindAndListen("127.0.0.1", 0);
        server.start();
    }

    std::string address() const { return "http://127.0.0.1:" + std::to_string(port); }

    httplib::Result post(const std::string& body, const std::string& key = keyA,
                         const std::string& contentType = "application/json") {
        httplib::Client client("127.0.0.1", port);
        httplib::Headers headers;
        if (!key.empty()) headers.emplace("X-NVX-Receipt-Key", key);
        return client.Post("/api/runs", headers, body, contentType);
    }

    httplib::Result get(const std::string& target, const std::string& key = {}) {
        httplib::Client client("127.0.0.1", port);
        httplib::Headers headers;
        if (!key.empty()) headers.emplace("X-NVX-Receipt-Key", key);
        return client.Get(target, headers);
    }

    static std::string errorOf(const httplib::Result& result) {
        return nlohmann::json::parse(result->body).at("error").get<std::string>();
    }

    std::vector<std::string> logLines() {
        std::lock_guard lock(logLock);
        return log;
    }

    testing::ScratchFolder folder;
    SqliteStore store{folder.path() / "depot.sqlite"};
    std::mutex logLock;
    std::vector<std::string> log;
    DepotService service{store,
                         [this](const std::string& line) {
                             std::lock_guard lock(logLock);
                             log.push_back(line);
                         },
                         [] { return std::string("2026-03-02T10:00:00Z"); }};
    DepotServer server;
    int port = -1;
};

TEST_F(RunningDepot, TheUploadClientCompletesItsRoundTrip) {
    const RunReport report = testing::sampleReport();
    EXPECT_EQ(DepotriumAPI::upload(report, address()), address() + "?run=" + report.id);
    EXPECT_EQ(store.find(report.id)->body, report.data());

    // The record's page and the list show it.
    const auto page = get("/?run=" + report.id);
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_EQ(page->get_header_value("Content-Type"), "text/html; charset=utf-8");
    EXPECT_NE(page->body.find("Монтажная №2"), std::string::npos);
    const auto list = get("/");
    EXPECT_NE(list->body.find("/?run=" + report.id), std::string::npos);
}

TEST_F(RunningDepot, AnswersTheStoredBytesOnlyToTheSameKey) {
    const std::string body = testing::sampleReport().data() + "\n\n";  // bytes beyond the JSON stay too
    const std::string id = testing::sampleReport().id;
    auto posted = post(body);
    ASSERT_TRUE(posted);
    EXPECT_EQ(posted->status, 200);
    EXPECT_EQ(nlohmann::json::parse(posted->body), nlohmann::json({{"id", id}}));

    const auto mine = get("/api/runs/" + id, keyA);
    EXPECT_EQ(mine->status, 200);
    EXPECT_EQ(mine->body, body);
    EXPECT_EQ(mine->get_header_value("Content-Type"), "application/json");
    for (const std::string& key : {keyB, std::string(), std::string("not-a-key")}) {
        const auto other = get("/api/runs/" + id, key);
        EXPECT_EQ(other->status, 401) << key;
        EXPECT_FALSE(errorOf(other).empty());
    }
    // Unknown records look the same as someone else's.
    EXPECT_EQ(get("/api/runs/no-such-run", keyA)->status, 401);
}

TEST_F(RunningDepot, ARetryWithANewKeyIsAcceptedButOtherBytesConflict) {
    const std::string body = testing::sampleReport().data();
    const std::string id = testing::sampleReport().id;
    EXPECT_EQ(post(body)->status, 200);
    EXPECT_EQ(post(body)->status, 200);
    // A retry after a lost answer: same bytes, a new key, both keys read it.
    const auto retried = post(body, keyB);
    EXPECT_EQ(retried->status, 200);
    EXPECT_EQ(nlohmann::json::parse(retried->body), nlohmann::json({{"id", id}}));
    EXPECT_EQ(get("/api/runs/" + id, keyA)->body, body);
    EXPECT_EQ(get("/api/runs/" + id, keyB)->body, body);

    RunReport changed = testing::sampleReport();
    changed.name = "Другое имя";
    const std::string keyC(64, 'c');
    for (const std::string& key : {keyA, keyC}) {
        const auto otherBody = post(changed.data(), key);
        EXPECT_EQ(otherBody->status, 409);
        EXPECT_EQ(errorOf(otherBody), "Опись с этим идентификатором уже принята с другим содержимым.");
    }
    EXPECT_EQ(get("/api/runs/" + id, keyA)->body, body);
    EXPECT_EQ(get("/api/runs/" + id, keyC)->status, 401);
    // The client's own retry of a whole upload now succeeds as well.
    EXPECT_EQ(DepotriumAPI::upload(testing::sampleReport(), address()), address() + "?run=" + id);
}

TEST_F(RunningDepot, RefusesWhatIsNotAKeyedJSONReport) {
    const std::string body = testing::sampleReport().data();
    const auto wrongType = post(body, keyA, "text/plain");
    EXPECT_EQ(wrongType->status, 415);
    EXPECT_FALSE(errorOf(wrongType).empty());
    EXPECT_EQ(post(body, keyA, "Application/JSON; charset=utf-8")->status, 200);

    for (const std::string& key : {std::string(), std::string(64, 'A'), std::string(63, 'a')}) {
        const auto unkeyed = post(body, key);
        EXPECT_EQ(unkeyed->status, 400);
        EXPECT_NE(errorOf(unkeyed).find("X-NVX-Receipt-Key"), std::string::npos);
    }

    nlohmann::json document = nlohmann::json::parse(body);
    document["system"].erase("chip");
    const auto invalid = post(document.dump());
    EXPECT_EQ(invalid->status, 400);
    EXPECT_NE(errorOf(invalid).find("system.chip"), std::string::npos) << errorOf(invalid);
    EXPECT_EQ(post("not json")->status, 400);

    document = nlohmann::json::parse(body);
    document["id"] = "";
    EXPECT_EQ(post(document.dump())->status, 400);
    document["id"] = std::string(300, 'x');
    EXPECT_EQ(post(document.dump())->status, 400);
    EXPECT_EQ(store.latest(10).size(), 1u);  // only the one accepted above
}

TEST_F(RunningDepot, RefusesBodiesOverThirtyTwoMebibytes) {
    // The upload client sees the refusal while it is still sending.
    RunReport huge = testing::sampleReport();
    huge.warnings.assign(1, std::string(maximumReportBytes, 'x'));
    try {
        DepotriumAPI::upload(huge, address());
        FAIL();
    } catch (const DepotriumError& error) {
        EXPECT_EQ(error.message(), "Опись больше 32 МиБ; склад такие не принимает.");
    }
    EXPECT_TRUE(store.latest(10).empty());
}

TEST_F(RunningDepot, PagesEscapeTheReportAndNameMissingRecords) {
    RunReport report = testing::sampleReport();
    report.id = "a/b <c>";
    report.owner = "<script>alert(1)</script>";
    ASSERT_EQ(post(report.data())->status, 200);
    const auto page = get("/?run=a%2Fb%20%3Cc%3E");
    EXPECT_EQ(page->status, 200);
    EXPECT_EQ(page->body.find("<script>"), std::string::npos);
    EXPECT_NE(page->get_header_value("Content-Security-Policy").find("default-src 'none'"), std::string::npos);
    EXPECT_EQ(get("/api/runs/a%2Fb%20%3Cc%3E", keyA)->body, report.data());
    const auto missing = get("/?run=nothing");
    EXPECT_EQ(missing->status, 404);
    EXPECT_NE(missing->body.find("Запись не найдена"), std::string::npos);
}

TEST_F(RunningDepot, ADeeplyNestedReportIsRefusedAndTheDepotGoesOn) {
    // A million levels in two megabytes, posted by anyone who reaches the port.
    const auto deep = post(testing::reportTextWithNestedInventory(1'000'000));
    ASSERT_TRUE(deep);
    EXPECT_EQ(deep->status, 400);
    EXPECT_NE(errorOf(deep).find("глубже 512 уровней"), std::string::npos) << errorOf(deep);
    EXPECT_EQ(post(testing::reportTextWithNestedInventory(100))->status, 200);
    RunReport next = testing::sampleReport();
    next.id = "next";
    EXPECT_EQ(DepotriumAPI::upload(next, address()), address() + "?run=next");
}

TEST_F(RunningDepot, TheListIsForThisMachineOnlyWhileTheRecordPageIsOpen) {
    ASSERT_EQ(post(testing::sampleReport().data())->status, 200);
    EXPECT_EQ(get("/")->status, 200);
    // Through a proxy every visitor comes from loopback: not this machine's user.
    httplib::Client client("127.0.0.1", port);
    const auto proxied = client.Get("/", {{"X-Forwarded-For", "192.0.2.7"}});
    ASSERT_TRUE(proxied);
    EXPECT_EQ(proxied->status, 403);
    EXPECT_EQ(proxied->body.find(testing::sampleReport().name), std::string::npos);
    EXPECT_NE(proxied->body.find("--viewers"), std::string::npos);
    EXPECT_EQ(client.Get("/?run=" + testing::sampleReport().id, {{"X-Forwarded-For", "192.0.2.7"}})->status, 200);
}

TEST_F(RunningDepot, ViewersSeeTheListWithTheirPasswordOnly) {
    ASSERT_EQ(post(testing::sampleReport().data())->status, 200);
    const auto viewers = ViewerList::parse("anna:" + hashPassword("пароль", {4, 8, 1}) + "\n", "viewers");
    DepotService guarded(store, nullptr, DepotService::utcNow, [&viewers] { return viewers; });
    DepotServer guardedServer;
    guarded.install(guardedServer);
    const int guardedPort = guardedServer.bindAndListen("127.0.0.1", 0);
    guardedServer.start();
    httplib::Client client("127.0.0.1", guardedPort);

    const auto anonymous = client.Get("/");
    ASSERT_TRUE(anonymous);
    EXPECT_EQ(anonymous->status, 401);
    EXPECT_EQ(anonymous->get_header_value("WWW-Authenticate"), "Basic realm=\"nvx-depot\"");
    EXPECT_EQ(anonymous->body.find(testing::sampleReport().name), std::string::npos);
    client.set_basic_auth("anna", "не тот");
    EXPECT_EQ(client.Get("/")->status, 401);
    client.set_basic_auth("anna", "пароль");
    const auto admitted = client.Get("/");
    EXPECT_EQ(admitted->status, 200);
    EXPECT_NE(admitted->body.find(testing::sampleReport().name), std::string::npos);
    // Loopback alone is not enough once there are viewers; the record page
    // and the API need no viewer.
    httplib::Client stranger("127.0.0.1", guardedPort);
    EXPECT_EQ(stranger.Get("/?run=" + testing::sampleReport().id)->status, 200);
    EXPECT_EQ(stranger.Get("/api/runs/" + testing::sampleReport().id, {{"X-NVX-Receipt-Key", keyA}})->status, 200);
    guardedServer.stop();
}

TEST_F(RunningDepot, LogsOneLinePerRequest) {
    post(testing::sampleReport().data());
    get("/api/runs/x", keyA);
    get("/nowhere");
    // The line is written once the answer has gone out, so it may trail it.
    std::vector<std::string> lines;
    for (int wait = 0; wait < 200 && (lines = logLines()).size() < 3; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(lines.size(), 3u);
    // Each request's line, in whatever order the workers finished.
    for (const char* expected : {"127.0.0.1 POST /api/runs 200", "127.0.0.1 GET /api/runs/x 401",
                                 "127.0.0.1 GET /nowhere 404"}) {
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                                [expected](const std::string& line) { return line.find(expected) != std::string::npos; }),
                  1)
            << expected;
    }
    for (const auto& line : lines) EXPECT_EQ(line.find(keyA), std::string::npos);
}

}  // namespace
}  // namespace nvx::depot
