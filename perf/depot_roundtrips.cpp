// Verified round trips (POST, GET, compare) of self-test-sized reports from
// 8 concurrent clients: against two nvx-depot processes sharing one private
// PostgreSQL server (clients split between them, as behind one name), and
// against one depot on SQLite, in turns within the same run so that a busy
// machine slows both alike. PostgreSQL runs with its default durability
// (fsync, synchronous commit), as SQLite runs with synchronous=FULL.
// Afterwards the depots are stopped with SIGTERM and every acknowledged
// report must be in its database, byte for byte.
//
//   perf_depot_roundtrips [rounds]     rounds of 5 s per backend (default 2)

#include <charconv>
#include <cstdio>
#include <filesystem>
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
            for (int round = 0; round < rounds; ++round) {
                std::printf("Тур %d:\n", round + 1);
                const Throughput shared = nvx::perf::runClients({&first, &second}, {}, report, postgres.acknowledged);
                postgres.perSecond.push_back(shared.perSecond);
                postgres.failures += shared.failures;
                postgres.cost = shared.cost;
                printRound(postgres, shared);
                const Throughput alone = nvx::perf::runClients({&single}, {}, report, sqlite.acknowledged);
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
