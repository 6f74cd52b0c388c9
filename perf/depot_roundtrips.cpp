// Verified round trips (POST, GET, compare) of self-test-sized reports from
// 8 concurrent clients, each report from one of 2,000 computers of a fleet: against two nvx-depot processes sharing one
// private PostgreSQL server (clients split between them, as behind one name), and against one depot on SQLite, in turns
// within the same run so that a busy machine slows both alike. PostgreSQL runs with its default durability (fsync,
// synchronous commit), as SQLite runs with synchronous=FULL. Afterwards the depots are stopped with SIGTERM and every
// acknowledged report must be in its database, byte for byte.
//
//   perf_depot_roundtrips [rounds]     rounds of 5 s per backend (default 2)

#include <atomic>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "core/random_id.h"
#include "depot/depot_store.h"
#include "depot/postgres_store.h"
#include "depot/sqlite_store.h"
#include "depot_child.h"
#include "perf_reports.h"
#include "round_trip_clients.h"
#include "support/private_postgres.h"

namespace {

using nvx::perf::DepotChild;
using nvx::perf::Throughput;

using Acknowledged = std::vector<std::pair<std::string, std::string>>;

std::size_t missingRecords(nvx::depot::DepotStore& store, const Acknowledged& acknowledged) {
    std::size_t lost = 0;
    for (const auto& [id, bytes] : acknowledged) {
        const auto stored = store.find(id);
        if (!stored || stored->body != bytes) ++lost;
    }
    return lost;
}

struct Backend {
    const char* name;
    std::vector<double> perSecond;
    int failures = 0;
    std::string cost;
    Acknowledged acknowledged;
    std::vector<int> exits;
};

void printRound(const Backend& backend, const Throughput& throughput) {
    std::printf("  %s: %.0f проверенных отправок в секунду, ошибок %d; %s\n", backend.name, throughput.perSecond,
                throughput.failures, throughput.cost.c_str());
}

// Processor seconds of a process and all its children that are alive
// (PostgreSQL serves each connection in a child of its main process).
double processTreeSeconds(pid_t root) {
    double total = nvx::perf::childProcessorSeconds(root);
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream stat(entry.path() / "stat");
        std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
        const auto afterName = text.rfind(')');
        if (afterName == std::string::npos) continue;
        std::istringstream fields(text.substr(afterName + 2));
        std::string state;
        pid_t parent = 0;
        fields >> state >> parent;
        if (parent == root) total += nvx::perf::childProcessorSeconds(std::stoi(name));
    }
    return total;
}

double mean(const std::vector<double>& values) {
    double total = 0;
    for (double value : values) total += value;
    return values.empty() ? 0 : total / static_cast<double>(values.size());
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 2;
    if (argc > 1) {
        const std::string_view text = argv[1];
        std::from_chars(text.data(), text.data() + text.size(), rounds);
        if (rounds < 1) rounds = 1;
    }
    const auto folder = std::filesystem::temp_directory_path() / ("nvx-perf-roundtrips-" + nvx::randomUUID());
    std::filesystem::create_directories(folder);
    const auto sqliteFile = folder / "depot.sqlite";
    int exitStatus = 0;
    try {
        nvx::testing::PrivatePostgres server;
        const std::string database = server.freshDatabase();
        Backend postgres{"PostgreSQL, 2 склада на одной базе", {}, 0, {}, {}, {}};
        Backend sqlite{"SQLite, 1 склад", {}, 0, {}, {}, {}};
        {
            DepotChild first(database);
            DepotChild second(database);
            DepotChild single(sqliteFile);
            const nvx::RunReport report = nvx::perf::reportWithInventory(20'000);
            std::printf("8 клиентов, отчёт самопроверки %zu байт, %d тура по 5 с на каждую базу, по очереди\n",
                        report.data().size(), rounds);
            // The device ids of a fleet; each report comes from one of them.
            std::vector<std::string> fleet;
            for (int device = 0; device < 2000; ++device) fleet.push_back(nvx::randomUUID());
            std::atomic<std::size_t> nextDevice{0};
            const auto fromTheFleet = [&](nvx::RunReport& report) {
                report.device_id = fleet[nextDevice++ * 7919 % fleet.size()];
            };
            for (int round = 0; round < rounds; ++round) {
                std::printf("Тур %d:\n", round + 1);
                const double serverBefore = processTreeSeconds(server.serverProcess());
                const std::size_t acknowledgedBefore = postgres.acknowledged.size();
                const Throughput shared = nvx::perf::runClients({&first, &second}, {}, report, postgres.acknowledged, 8,
                                                                std::chrono::seconds(5), fromTheFleet);
                postgres.perSecond.push_back(shared.perSecond);
                postgres.failures += shared.failures;
                postgres.cost = shared.cost;
                printRound(postgres, shared);
                std::printf("    сервер PostgreSQL: %.2f мс процессора на отправку\n",
                            (processTreeSeconds(server.serverProcess()) - serverBefore) * 1e3 /
                                static_cast<double>(
                                    std::max<std::size_t>(1, postgres.acknowledged.size() - acknowledgedBefore)));
                const Throughput alone = nvx::perf::runClients({&single}, {}, report, sqlite.acknowledged, 8,
                                                               std::chrono::seconds(5), fromTheFleet);
                sqlite.perSecond.push_back(alone.perSecond);
                sqlite.failures += alone.failures;
                sqlite.cost = alone.cost;
                printRound(sqlite, alone);
            }
            postgres.exits = {first.stop(SIGTERM), second.stop(SIGTERM)};
            sqlite.exits = {single.stop(SIGTERM)};
        }
        nvx::depot::PostgresStore postgresStore(database);
        nvx::depot::SqliteStore sqliteStore(sqliteFile);
        const std::size_t postgresLost = missingRecords(postgresStore, postgres.acknowledged);
        const std::size_t sqliteLost = missingRecords(sqliteStore, sqlite.acknowledged);
        for (const auto* backend : {&postgres, &sqlite}) {
            const std::size_t lost = backend == &postgres ? postgresLost : sqliteLost;
            bool stoppedCleanly = true;
            for (int exit : backend->exits) stoppedCleanly = stoppedCleanly && exit == 0;
            std::printf(
                "%s: в среднем %.0f проверенных отправок в секунду (цель ≥ 300); подтверждено %zu, ошибок %d, "
                "после остановки (%s) не найдено в базе %zu\n",
                backend->name, mean(backend->perSecond), backend->acknowledged.size(), backend->failures,
                stoppedCleanly ? "код 0" : "с ошибкой", lost);
            if (lost != 0 || backend->failures != 0 || !stoppedCleanly) exitStatus = 1;
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "perf_depot_roundtrips: %s\n", error.what());
        exitStatus = 1;
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return exitStatus;
}
