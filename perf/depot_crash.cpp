// Crash safety of the depot: 8 clients submit reports while nvx-depot is
// killed with SIGKILL at random moments and restarted on the same database
// and port, many times over. A client notes every submission the depot
// acknowledged (200 with the report's id), with its receipt key and bytes.
// At the end every acknowledged record must read back to its key, byte for
// byte: the figure is acknowledged / lost, and lost must be 0.
//
//   perf_depot_crash [kills]        (default 25, at least 20)

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/errors.h"
#include "depot_child.h"
#include "perf_reports.h"
#include "upload/depotrium_api.h"
#include "upload/http_exchange.h"

namespace {

using Clock = std::chrono::steady_clock;
using nvx::perf::DepotChild;

struct Acknowledged {
    std::string id;
    std::string key;
    std::string body;
};

// Posts one report with a fresh key; the acknowledgement, if the depot gave one.
std::optional<Acknowledged> submit(const std::string& address, const nvx::RunReport& report) {
    Acknowledged sent{report.id, nvx::DepotriumAPI::makeReceiptKey(), report.data()};
    nvx::HTTPRequest request;
    request.method = "POST";
    request.url = address + "/api/runs";
    request.headers = {"Content-Type: application/json", "X-NVX-Receipt-Key: " + sent.key};
    request.body = sent.body;
    request.timeLimit = std::chrono::seconds(10);
    try {
        const nvx::HTTPResponse answer = nvx::exchange(request, {});
        if (answer.status != 200) return std::nullopt;
        const auto json = nlohmann::json::parse(answer.body, nullptr, false);
        if (!json.is_object() || json.value("id", std::string()) != report.id) return std::nullopt;
        return sent;
    } catch (const nvx::TransportError&) {
        return std::nullopt;  // the depot died under this request: not acknowledged
    }
}

// Whether the record reads back to its key exactly as it was sent.
bool readsBack(const std::string& address, const Acknowledged& record) {
    nvx::HTTPRequest request;
    request.method = "GET";
    request.url = address + "/api/runs/" + record.id;
    request.headers = {"X-NVX-Receipt-Key: " + record.key};
    const nvx::HTTPResponse answer = nvx::exchange(request, {});
    return answer.status == 200 && answer.body == record.body;
}

}  // namespace

int main(int argc, char** argv) {
    const int kills = std::max(20, argc > 1 ? std::atoi(argv[1]) : 25);
    const auto folder = std::filesystem::temp_directory_path() / ("nvx-perf-depot-crash-" + nvx::randomUUID());
    std::filesystem::create_directories(folder);
    const auto database = folder / "depot.sqlite";
    int exitStatus = 0;
    try {
        auto depot = std::make_unique<DepotChild>(database);
        const std::string address = depot->address();
        const std::string listen = "127.0.0.1:" + depot->port();
        const nvx::RunReport model = nvx::perf::reportWithInventory(20'000);

        std::mutex acknowledgedLock;
        std::vector<Acknowledged> acknowledged;
        std::atomic<bool> running{true};
        std::atomic<long> refused{0};
        std::vector<std::thread> clients;
        for (int client = 0; client < 8; ++client) {
            clients.emplace_back([&] {
                std::vector<Acknowledged> mine;
                while (running) {
                    nvx::RunReport report = model;
                    report.id = nvx::randomUUID();
                    if (auto done = submit(address, report)) {
                        mine.push_back(std::move(*done));
                    } else {
                        ++refused;
                        std::this_thread::sleep_for(std::chrono::milliseconds(5));  // the depot is restarting
                    }
                }
                std::lock_guard lock(acknowledgedLock);
                acknowledged.insert(acknowledged.end(), mine.begin(), mine.end());
            });
        }

        std::mt19937 random(std::random_device{}());
        std::uniform_int_distribution<int> runMilliseconds(100, 500);
        std::vector<double> restartMilliseconds;
        for (int kill = 0; kill < kills; ++kill) {
            std::this_thread::sleep_for(std::chrono::milliseconds(runMilliseconds(random)));
            depot->stop(SIGKILL);
            const auto restart = Clock::now();
            // The same database and the same port: the clients never learn
            // of the restart except through failed requests.
            depot = std::make_unique<DepotChild>(database, std::vector<std::string>{"--listen", listen});
            restartMilliseconds.push_back(std::chrono::duration<double, std::milli>(Clock::now() - restart).count());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        running = false;
        for (auto& client : clients) client.join();

        std::size_t lost = 0;
        for (const auto& record : acknowledged) {
            if (!readsBack(address, record)) ++lost;
        }
        depot->stop(SIGTERM);
        std::sort(restartMilliseconds.begin(), restartMilliseconds.end());
        std::printf(
            "SIGKILL под нагрузкой 8 клиентов: %d раз; подтверждено %zu записей, потеряно или искажено %zu (цель 0); "
            "неподтверждённых попыток %ld; перезапуск до готовности: медиана %.0f мс\n",
            kills, acknowledged.size(), lost, refused.load(), restartMilliseconds[restartMilliseconds.size() / 2]);
        if (lost != 0 || acknowledged.empty()) exitStatus = 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "perf_depot_crash: %s\n", error.what());
        exitStatus = 1;
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return exitStatus;
}
