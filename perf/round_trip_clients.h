#pragma once

// Concurrent verified round trips against depot children, and what they
// cost in processor time, for perf programs.

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/random_id.h"
#include "core/report.h"
#include "depot_child.h"
#include "upload/depotrium_api.h"

namespace nvx::perf {

// Processor time used so far by this process and by a depot child, in
// seconds. With the machine shared, wall-clock figures swing with other
// loads; the processor time per round trip says what the work itself costs.
inline double ownProcessorSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

inline double childProcessorSeconds(pid_t pid) {
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

// Processor time of this process and of depot children since construction.
struct ProcessorUse {
    std::vector<pid_t> depots;
    double client = ownProcessorSeconds();
    double server = depotSeconds();

    double depotSeconds() const {
        double total = 0;
        for (pid_t depot : depots) total += childProcessorSeconds(depot);
        return total;
    }
    // "client X ms + depot Y ms" per round trip since construction (the
    // depots together).
    std::string perRoundTrip(std::size_t roundTrips) const {
        char text[128];
        std::snprintf(text, sizeof text, "процессор на отправку: клиент %.2f мс + склад %.2f мс",
                      (ownProcessorSeconds() - client) * 1e3 / static_cast<double>(roundTrips),
                      (depotSeconds() - server) * 1e3 / static_cast<double>(roundTrips));
        return text;
    }
};

// Verified round trips (POST, GET, compare) of `clients` concurrent clients
// for a few seconds; client i talks to depot i modulo their number. Each
// report is the template with a fresh id, then passed to `vary` when given.
// What was acknowledged is added to `acknowledged` (id, bytes sent).
struct Throughput {
    double perSecond = 0;
    int failures = 0;
    std::string cost;
};

inline Throughput runClients(const std::vector<const DepotChild*>& depots, const UploadOptions& options,
                             const RunReport& template_, std::vector<std::pair<std::string, std::string>>& acknowledged,
                             int clients = 8, std::chrono::seconds duration = std::chrono::seconds(5),
                             const std::function<void(RunReport&)>& vary = nullptr) {
    using Clock = std::chrono::steady_clock;
    std::mutex acknowledgedLock;
    std::atomic<bool> go{false};
    std::atomic<int> failures{0};
    std::size_t count = 0;
    Clock::time_point end;
    std::vector<std::thread> threads;
    for (int client = 0; client < clients; ++client) {
        const std::string address = depots[static_cast<std::size_t>(client) % depots.size()]->address();
        threads.emplace_back([&, address] {
            while (!go) std::this_thread::yield();
            std::vector<std::pair<std::string, std::string>> mine;
            while (Clock::now() < end) {
                RunReport report = template_;
                report.id = randomUUID();
                if (vary) vary(report);
                try {
                    DepotriumAPI::upload(report, address, options);
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
    std::vector<pid_t> pids;
    for (const DepotChild* depot : depots) pids.push_back(depot->pid());
    ProcessorUse use{pids};
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

}  // namespace nvx::perf
