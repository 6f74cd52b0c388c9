// Verified round trips of reports to a local nvx-depot, over plain HTTP and
// over HTTPS: the median latency of a self-test-sized report (~20 KB
// inventory, 6 metrics) and of one with a 1 MB inventory, the cost of TLS
// on a kept-alive connection (HTTPS against plain HTTP, measured in turns so
// that a busy machine slows both alike), and how many round trips per second
// 8 concurrent clients sustain on each. Afterwards both depots are stopped
// with SIGTERM and their databases are checked: every acknowledged report
// must be there, byte for byte.

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/files.h"
#include "depot/sqlite_store.h"
#include "depot_child.h"
#include "perf_reports.h"
#include "support/test_certificates.h"
#include "upload/depotrium_api.h"

namespace {

using Clock = std::chrono::steady_clock;
using nvx::perf::DepotChild;
using nvx::perf::reportWithInventory;

// Processor time used so far by this process and by a depot child, in
// seconds. With the machine shared, wall-clock figures swing with other
// loads; the processor time per round trip says what the work itself costs.
double ownProcessorSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double childProcessorSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const auto afterName = text.rfind(')');
    if (afterName == std::string::npos) return 0;
    std::istringstream fields(text.substr(afterName + 2));
    std::string field;
    double ticks = 0;
    for (int index = 3; fields >> field; ++index) {
        if (index == 14 || index == 15) ticks += std::stod(field);  // utime, stime
        if (index == 15) break;
    }
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

struct ProcessorUse {
    pid_t depot;
    double client = ownProcessorSeconds();
    double server = childProcessorSeconds(depot);

    // "client X ms + depot Y ms" per round trip since construction.
    std::string perRoundTrip(std::size_t roundTrips) const {
        char text[128];
        std::snprintf(text, sizeof text, "процессор на отправку: клиент %.2f мс + склад %.2f мс",
                      (ownProcessorSeconds() - client) * 1e3 / static_cast<double>(roundTrips),
                      (childProcessorSeconds(depot) - server) * 1e3 / static_cast<double>(roundTrips));
        return text;
    }
};

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

// Round trips of 8 clients for a few seconds; what was acknowledged is
// added to `acknowledged` (id, bytes sent).
struct Throughput {
    double perSecond = 0;
    int failures = 0;
    std::string cost;
};

Throughput runClients(const DepotChild& depot, const nvx::UploadOptions& options, const nvx::RunReport& template_,
                      std::vector<std::pair<std::string, std::string>>& acknowledged) {
    constexpr int clients = 8;
    constexpr auto duration = std::chrono::seconds(5);
    std::mutex acknowledgedLock;
    std::atomic<bool> go{false};
    std::atomic<int> failures{0};
    std::size_t count = 0;
    Clock::time_point end;
    std::vector<std::thread> threads;
    for (int client = 0; client < clients; ++client) {
        threads.emplace_back([&] {
            while (!go) std::this_thread::yield();
            std::vector<std::pair<std::string, std::string>> mine;
            while (Clock::now() < end) {
                nvx::RunReport report = template_;
                report.id = nvx::randomUUID();
                try {
                    nvx::DepotriumAPI::upload(report, depot.address(), options);
                    mine.emplace_back(report.id, report.data());
                } catch (const std::exception&) {
                    ++failures;
                }
            }
            std::lock_guard lock(acknowledgedLock);
            count += mine.size();
            acknowledged.insert(acknowledged.end(), mine.begin(), mine.end());
        });
    }
    ProcessorUse use{depot.pid()};
    const auto start = Clock::now();
    end = start + duration;
    go = true;
    for (auto& thread : threads) thread.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    Throughput result;
    result.perSecond = static_cast<double>(count) / seconds;
    result.failures = failures;
    result.cost = use.perRoundTrip(std::max<std::size_t>(1, count + static_cast<std::size_t>(failures)));
    return result;
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

            ProcessorUse smallUse{depot.pid()};
            const Latency smallLatency = measureLatency(depot.address(), 20'000, 200, 10);
            std::printf(
                "Проверенная отправка отчёта самопроверки: медиана %.2f мс, 90%% быстрее %.2f мс (цель ≤ 15 мс); %s\n",
                smallLatency.medianMilliseconds, smallLatency.slowestTenthMilliseconds,
                smallUse.perRoundTrip(210).c_str());
            ProcessorUse largeUse{depot.pid()};
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

            plain = runClients(depot, {}, small, plainAcknowledged);
            secure = runClients(tlsDepot, trusting, small, secureAcknowledged);
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
