// Clients that misbehave, slowly or on purpose: the depot answers them
// within its limits, ends their connections in bounded time, and keeps
// serving everyone else.

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <memory>
#include <nlohmann/json.hpp>
#include <thread>

#include "core/errors.h"
#include "depot/depot_server.h"
#include "depot/depot_service.h"
#include "depot/raw_connection.h"
#include "depot/sqlite_store.h"
#include "support/sample_reports.h"
#include "support/scratch_folder.h"
#include "upload/depotrium_api.h"

namespace nvx::depot {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testing::RawConnection;
using testing::statusOf;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A depot on a free loopback port with the given limits, over `store` or a
// store in a scratch folder.
struct ServedDepot {
    explicit ServedDepot(ConnectionLimits limits = {}, DepotStore* store = nullptr)
        : server(limits), service(store != nullptr ? *store : ownStore, nullptr) {
        service.install(server);
        port = server.bindAndListen("127.0.0.1", 0);
        server.start();
    }
    std::string address() const { return "http://127.0.0.1:" + std::to_string(port); }

    testing::ScratchFolder folder;
    SqliteStore ownStore{folder.path() / "depot.sqlite"};
    DepotServer server;
    DepotService service;
    int port = -1;
};

const std::string uploadHead = "POST /api/runs HTTP/1.1\r\nHost: depot\r\nContent-Type: application/json\r\n";

TEST(HostileClients, TricklingConnectionsDoNotDelayAnUpload) {
    ServedDepot depot;  // the limits a real depot runs with
    // 150 clients that send their headers a byte at a time: each read brings
    // news, so a per-read idle time would never end them.
    std::vector<std::unique_ptr<RawConnection>> tricklers;
    for (int i = 0; i < 150; ++i) {
        tricklers.push_back(std::make_unique<RawConnection>(depot.port));
        tricklers.back()->send("POST /api/runs HTTP/1.1\r\n");
    }
    std::atomic<bool> trickling{true};
    std::thread feeder([&] {
        while (trickling) {
            for (auto& trickler : tricklers) trickler->send("X");
            std::this_thread::sleep_for(100ms);
        }
    });
    const auto start = Clock::now();
    RunReport report = testing::sampleReport();
    EXPECT_EQ(DepotriumAPI::upload(report, depot.address()), depot.address() + "?run=" + report.id);
    const double seconds = secondsSince(start);
    trickling = false;
    feeder.join();
    EXPECT_LT(seconds, 3.0);
}

TEST(HostileClients, AWholeRequestMustArriveWithinItsDeadline) {
    ConnectionLimits limits;
    limits.requestTime = 400ms;
    limits.minimumBodyBytesPerSecond = 1'000'000;
    ServedDepot depot(limits);

    RawConnection head(depot.port);
    RawConnection body(depot.port);
    head.send("GET / HTTP/1.1\r\n");
    body.send(uploadHead + "X-NVX-Receipt-Key: " + std::string(64, 'a') + "\r\nContent-Length: 1000\r\n\r\n");
    const auto start = Clock::now();
    std::string headAnswer;
    std::thread slowBody([&] {
        // A byte every 50 ms keeps arriving, but not fast enough.
        for (int i = 0; i < 40 && body.send("{"); ++i) std::this_thread::sleep_for(50ms);
    });
    for (int i = 0; i < 40 && !head.closed(); ++i) {
        head.send("X");
        headAnswer += head.readUntilClosed(50ms);
    }
    EXPECT_TRUE(head.closed());
    EXPECT_EQ(statusOf(headAnswer), 408);
    EXPECT_NE(headAnswer.find("Запрос не пришёл целиком"), std::string::npos);
    body.readUntilClosed(3s);
    EXPECT_TRUE(body.closed());
    EXPECT_LT(secondsSince(start), 2.0);
    slowBody.join();
    EXPECT_TRUE(depot.ownStore.latest(1).empty());
}

TEST(HostileClients, OversizedHeadersAreRefused) {
    ServedDepot depot;
    RawConnection client(depot.port);
    client.send("GET / HTTP/1.1\r\n");
    std::string answer;
    // Many small headers, each within the library's own line limit.
    for (int i = 0; i < 2000 && !client.closed(); ++i) {
        client.send("X-Filler-" + std::to_string(i) + ": " + std::string(40, 'f') + "\r\n");
    }
    answer = client.readUntilClosed(5s);
    EXPECT_EQ(statusOf(answer), 431);
    EXPECT_NE(answer.find("Заголовки запроса слишком велики"), std::string::npos);
}

TEST(HostileClients, BodiesAreRefusedUnreadWhenTooLargeUnframedOrCompressed) {
    ServedDepot depot;
    const std::string key = "X-NVX-Receipt-Key: " + std::string(64, 'a') + "\r\n";
    struct Case {
        std::string headers;
        int status;
    };
    for (const Case& refused : {Case{"Content-Length: 104857600\r\n", 413}, Case{"Content-Length: 33554433\r\n", 413},
                                Case{"Transfer-Encoding: chunked\r\n", 411}, Case{"Connection: keep-alive\r\n", 411},
                                Case{"Content-Length: 10\r\nContent-Encoding: gzip\r\n", 415}}) {
        RawConnection client(depot.port);
        const auto start = Clock::now();
        // Only the head is sent: an answer proves that no body was awaited.
        client.send(uploadHead + key + refused.headers + "\r\n");
        const std::string answer = client.readUntilClosed(5s);
        EXPECT_EQ(statusOf(answer), refused.status) << refused.headers;
        EXPECT_TRUE(client.closed());
        EXPECT_LT(secondsSince(start), 2.0);
        const std::string body = answer.substr(answer.find("\r\n\r\n") + 4);
        EXPECT_FALSE(nlohmann::json::parse(body).at("error").get<std::string>().empty());
    }
    EXPECT_TRUE(depot.ownStore.latest(1).empty());
}

TEST(HostileClients, LargeBodiesShareAMemoryBudget) {
    ConnectionLimits limits;
    limits.unbudgetedBodyBytes = 100'000;
    limits.bodyBudgetBytes = 500'000;
    ServedDepot depot(limits);
    RawConnection first(depot.port);
    first.send(uploadHead + "Content-Length: 400000\r\n\r\n");  // then silence: its bytes stay reserved
    std::this_thread::sleep_for(100ms);
    RawConnection second(depot.port);
    second.send(uploadHead + "Content-Length: 400000\r\n\r\n");
    const std::string answer = second.readUntilClosed(5s);
    EXPECT_EQ(statusOf(answer), 503);
    EXPECT_NE(answer.find("Retry-After: 5"), std::string::npos);
    // Small reports do not wait for the budget.
    EXPECT_NO_THROW(DepotriumAPI::upload(testing::sampleReport(), depot.address()));
}

TEST(HostileClients, ConnectionsBeyondTheLimitAreTurnedAwayAtOnce) {
    ConnectionLimits limits;
    limits.maximumConnections = 2;
    ServedDepot depot(limits);
    auto idle = std::make_unique<RawConnection>(depot.port);
    RawConnection alsoIdle(depot.port);
    std::this_thread::sleep_for(100ms);  // both taken by their workers
    RawConnection third(depot.port);
    const auto start = Clock::now();
    const std::string answer = third.readUntilClosed(5s);
    EXPECT_EQ(statusOf(answer), 503);
    EXPECT_LT(secondsSince(start), 1.0);
    idle.reset();  // a slot comes free
    bool uploaded = false;
    for (int attempt = 0; attempt < 100 && !uploaded; ++attempt) {
        try {
            DepotriumAPI::upload(testing::sampleReport(), depot.address());
            uploaded = true;
        } catch (const DepotriumError&) {
            std::this_thread::sleep_for(20ms);  // the freed worker is still closing
        }
    }
    EXPECT_TRUE(uploaded);
}

// A store whose every call fails, each in its own way.
class FailingStore final : public DepotStore {
public:
    StoreOutcome store(const NewRun&) override { throw StorageError("Диск отвалился."); }
    std::optional<StoredRun> find(std::string_view) override { throw std::runtime_error("no"); }
    std::optional<StoredRun> findWithKey(std::string_view, const KeyDigest&) override { throw 42; }
    std::vector<RunListing> latest(std::size_t) override { return {}; }
    std::vector<RunSummary> runsPage(const RunFilter&, const std::optional<RunCursor>&, PageDirection,
                                     std::size_t) override {
        return {};
    }
    std::vector<DeviceRun> deviceRuns(std::string_view) override { throw StorageError("Диск отвалился."); }
    std::vector<HardwareStep> hardwareSteps(const std::optional<RunCursor>&, std::size_t) override {
        throw std::runtime_error("no");
    }
    void forEachLatestRun(const std::function<void(const RunSummary&)>&) override {
        throw StorageError("Диск отвалился.");
    }
    std::vector<double> latestMetricValues(std::string_view, std::size_t) override { throw 42; }
};

TEST(HostileClients, AFailingHandlerAnswers500AndTheDepotGoesOn) {
    FailingStore store;
    ServedDepot depot({}, &store);
    httplib::Client client("127.0.0.1", depot.port);
    const httplib::Headers key{{"X-NVX-Receipt-Key", std::string(64, 'a')}};
    const auto posted = client.Post("/api/runs", key, testing::sampleReport().data(), "application/json");
    ASSERT_TRUE(posted);
    EXPECT_EQ(posted->status, 500);
    for (const char* target : {"/api/runs/x", "/?run=x"}) {
        const auto failed = client.Get(target, key);
        ASSERT_TRUE(failed) << target;
        EXPECT_EQ(failed->status, 500) << target;
        EXPECT_EQ(nlohmann::json::parse(failed->body).at("error"), "Склад не смог обработать запрос.") << target;
    }
    const auto list = client.Get("/");
    ASSERT_TRUE(list);
    EXPECT_EQ(list->status, 200);
}

TEST(HostileClients, IdleConnectionsEndAndAStopDoesNotWaitForSlowClients) {
    ConnectionLimits limits;
    limits.keepAliveIdle = 200ms;
    auto depot = std::make_unique<ServedDepot>(limits);
    RawConnection keptAlive(depot->port);
    keptAlive.send("GET /?run=none HTTP/1.1\r\nHost: depot\r\n\r\n");
    const auto start = Clock::now();
    const std::string answer = keptAlive.readUntilClosed(5s);
    EXPECT_EQ(statusOf(answer), 404);
    EXPECT_TRUE(keptAlive.closed());
    EXPECT_LT(secondsSince(start), 2.0);

    // A stop ends connections that have not delivered a whole request; the
    // default deadline would otherwise keep it for 30 s.
    RawConnection halfway(depot->port);
    halfway.send(uploadHead + "Content-Length: 100\r\n\r\n{");
    RawConnection silent(depot->port);
    std::this_thread::sleep_for(100ms);
    const auto stopping = Clock::now();
    depot->server.stop();
    EXPECT_LT(secondsSince(stopping), 2.0);
    depot.reset();
    halfway.readUntilClosed(1s);
    EXPECT_TRUE(halfway.closed());
}

}  // namespace
}  // namespace nvx::depot
