// Verified round trips of reports to a local nvx-depot, over plain HTTP and
// over HTTPS: the median latency of a self-test-sized report (~20 KB
// inventory, 6 metrics) and of one with a 1 MB inventory, the cost of TLS
// on a kept-alive connection (HTTPS against plain HTTP, measured in turns so
// that a busy machine slows both alike), and how many round trips per second
// 8 concurrent clients sustain on each. Afterwards both depots are stopped
// with SIGTERM and their databases are checked: every acknowledged report
// must be there, byte for byte.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "core/files.h"
#include "depot/sqlite_store.h"
#include "depot_child.h"
#include "perf_reports.h"
#include "round_trip_clients.h"
#include "support/test_certificates.h"
#include "upload/depotrium_api.h"

namespace {

using Clock = std::chrono::steady_clock;
using nvx::perf::DepotChild;
using nvx::perf::ProcessorUse;
using nvx::perf::reportWithInventory;
using nvx::perf::runClients;
using nvx::perf::Throughput;

struct Latency {
    double medianMilliseconds;
    double slowestTenthMilliseconds;
};

Latency summary(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times[times.size() * 9 / 10]};
}

double uploadMilliseconds(std::size_t inventoryBytes, const std::string& address, const nvx::UploadOptions& options) {
    nvx::RunReport report = reportWithInventory(inventoryBytes);  // a fresh id each time
    const auto start = Clock::now();
    nvx::DepotriumAPI::upload(report, address, options);
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

Latency measureLatency(const std::string& address, std::size_t inventoryBytes, int rounds, int warmUp) {
    std::vector<double> times;
    for (int i = 0; i < warmUp + rounds; ++i) {
        const double elapsed = uploadMilliseconds(inventoryBytes, address, {});
        if (i >= warmUp) times.push_back(elapsed);
    }
    return summary(times);
}

std::size_t missingRecords(const std::filesystem::path& database,
                           const std::vector<std::pair<std::string, std::string>>& acknowledged) {
    nvx::depot::SqliteStore reopened(database);
    std::size_t lost = 0;
    for (const auto& [id, bytes] : acknowledged) {
        const auto stored = reopened.find(id);
        if (!stored || stored->body != bytes) ++lost;
    }
    return lost;
}

}  // namespace

int main() {
    const auto folder = std::filesystem::temp_directory_path() / ("nvx-perf-upload-" + nvx::randomUUID());
    std::filesystem::create_directories(folder);
    const auto plainDatabase = folder / "depot.sqlite";
    const auto secureDatabase = folder / "depot-tls.sqlite";
    int exitStatus = 0;
    try {
        // A private authority and the depot's certificate, as an
        // organisation would have them; the clients add the authority.
        const auto certificates = nvx::testing::TestCertificates::make("NVX Perf Root");
        nvx::writeFileAtomically(folder / "depot.pem", certificates.serverChainPEM());
        nvx::writeFileAtomically(folder / "depot.key", certificates.serverKeyPEM());
        const nvx::UploadOptions trusting{certificates.authorityPEM()};

        std::vector<std::pair<std::string, std::string>> plainAcknowledged, secureAcknowledged;
        Throughput plain, secure;
        int plainExit = -1, secureExit = -1;
        {
            DepotChild depot(plainDatabase);
            DepotChild tlsDepot(secureDatabase, {"--tls-cert", (folder / "depot.pem").string(), "--tls-key",
                                                 (folder / "depot.key").string()});
            const nvx::RunReport small = reportWithInventory(20'000);
            const nvx::RunReport large = reportWithInventory(1'000'000);
            std::printf("Отчёт самопроверки: %zu байт, с описью в 1 МБ: %zu байт\n", small.data().size(),
                        large.data().size());

            ProcessorUse smallUse{{depot.pid()}};
            const Latency smallLatency = measureLatency(depot.address(), 20'000, 200, 10);
            std::printf(
                "Проверенная отправка отчёта самопроверки: медиана %.2f мс, 90%% быстрее %.2f мс (цель ≤ 15 мс); %s\n",
                smallLatency.medianMilliseconds, smallLatency.slowestTenthMilliseconds,
                smallUse.perRoundTrip(210).c_str());
            ProcessorUse largeUse{{depot.pid()}};
            const Latency largeLatency = measureLatency(depot.address(), 1'000'000, 30, 3);
            std::printf(
                "Проверенная отправка с описью в 1 МБ: медиана %.2f мс, 90%% быстрее %.2f мс (цель ≤ 60 мс); %s\n",
                largeLatency.medianMilliseconds, largeLatency.slowestTenthMilliseconds,
                largeUse.perRoundTrip(33).c_str());
            // The part of that the JSON codec takes: the client encodes once
            // and decodes once, the depot decodes once to validate.
            std::vector<double> encode, decode;
            for (int i = 0; i < 9; ++i) {
                auto start = Clock::now();
                const std::string bytes = large.data();
                encode.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
                start = Clock::now();
                const bool same = nvx::RunReport::decode(bytes) == large;
                decode.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
                if (!same) throw std::runtime_error("отчёт не прочитался обратно");
            }
            std::sort(encode.begin(), encode.end());
            std::sort(decode.begin(), decode.end());
            std::printf(
                "  из них JSON (1 МБ): запись %.2f мс, чтение и сравнение %.2f мс (чтение дважды за отправку)\n",
                encode[4], decode[4]);

            // HTTPS against plain HTTP, one round trip of each in turn. The
            // connection (and its TLS session) is kept between uploads, as a
            // client that submits again does.
            std::vector<double> plainTimes, secureTimes;
            for (int i = 0; i < 10 + 200; ++i) {
                const double plainTime = uploadMilliseconds(20'000, depot.address(), {});
                const double secureTime = uploadMilliseconds(20'000, tlsDepot.address(), trusting);
                if (i < 10) continue;
                plainTimes.push_back(plainTime);
                secureTimes.push_back(secureTime);
            }
            const Latency plainTurn = summary(plainTimes), secureTurn = summary(secureTimes);
            std::printf(
                "Отчёт самопроверки по HTTPS: медиана %.2f мс против %.2f мс по HTTP в тех же турах: "
                "%.2f× (цель ≤ 1,3×)\n",
                secureTurn.medianMilliseconds, plainTurn.medianMilliseconds,
                secureTurn.medianMilliseconds / plainTurn.medianMilliseconds);

            plain = runClients({&depot}, {}, small, plainAcknowledged);
            secure = runClients({&tlsDepot}, trusting, small, secureAcknowledged);
            plainExit = depot.stop(SIGTERM);
            secureExit = tlsDepot.stop(SIGTERM);
        }
        const std::size_t plainLost = missingRecords(plainDatabase, plainAcknowledged);
        const std::size_t secureLost = missingRecords(secureDatabase, secureAcknowledged);
        std::printf(
            "8 клиентов одновременно по HTTP: %.0f проверенных отправок в секунду (цель ≥ 300); подтверждено %zu, "
            "ошибок %d, после остановки (код %d) не найдено в базе %zu; %s\n",
            plain.perSecond, plainAcknowledged.size(), plain.failures, plainExit, plainLost, plain.cost.c_str());
        std::printf(
            "8 клиентов одновременно по HTTPS: %.0f проверенных отправок в секунду (цель ≥ 300); подтверждено %zu, "
            "ошибок %d, после остановки (код %d) не найдено в базе %zu; %s\n",
            secure.perSecond, secureAcknowledged.size(), secure.failures, secureExit, secureLost, secure.cost.c_str());
        if (plainLost != 0 || secureLost != 0 || plain.failures != 0 || secure.failures != 0 || plainExit != 0 ||
            secureExit != 0) {
            exitStatus = 1;
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "perf_upload: %s\n", error.what());
        exitStatus = 1;
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return exitStatus;
}
