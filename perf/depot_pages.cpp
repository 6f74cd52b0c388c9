// The fleet pages at fleet scale. Seeds an SQLite depot with generated
// reports (default 100,000 of 2,000 computers, 50 records each, 20 models,
// a memory change now and then) through the store in one transaction, serves
// it in-process on loopback, and measures over keep-alive HTTP:
//   list page, filtered list (model; model + text; a text found nowhere),
//   device page (50 records, 6 charts, changes), record page with percentiles:
//   median and 90th percentile of 200 requests each (target ≤ 20 ms);
//   CSV export of the newest record of every device: time (target ≤ 2 s) and
//   the process's resident memory before and at its peak while streaming.
//
//   perf_depot_pages [reports] [devices] [folder]

#include <httplib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "core/random_id.h"
#include "core/report.h"
#include "depot/depot_server.h"
#include "depot/depot_service.h"
#include "depot/run_columns.h"
#include "depot/sqlite_store.h"

namespace {

using Clock = std::chrono::steady_clock;
using nvx::depot::NewRun;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::size_t residentKibibytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stoul(line.substr(6));
    return 0;
}

const char* const models[] = {"Mac14,7",      "Mac14,2",        "MacBookPro18,3", "iMac21,1",      "Mac13,1",
                              "ThinkPad T14", "ThinkPad X1",    "Latitude 7440",  "EliteBook 840", "OptiPlex 7010",
                              "ProDesk 600",  "Precision 3660", "Mac15,3",        "Mac15,6",       "Macmini9,1",
                              "Vostro 3520",  "ZBook Firefly",  "IdeaPad 5",      "XPS 13",        "Surface Laptop 5"};

nvx::RunReport generatedReport(std::mt19937_64& random, int device, int run, const std::string& deviceId) {
    nvx::RunReport report;
    report.id = nvx::randomUUID();
    report.device_id = deviceId;
    report.created_at = "2026-01-01T00:00:00Z";
    report.name = "Компьютер " + std::to_string(device);
    report.owner = "Отдел " + std::to_string(device % 37);
    report.location = "Корпус " + std::to_string(device % 11) + ", комната " + std::to_string(device % 97);
    report.system.model = models[device % 20];
    report.system.chip = "Chip " + std::to_string(device % 20);
    // Every 17th computer lost half its memory at its 30th record.
    report.system.memory_bytes = (device % 17 == 0 && run >= 30 ? 8ULL : 16ULL) << 30;
    report.system.logical_cores = 8;
    report.system.physical_cores = 8;
    report.system.os = "Debian GNU/Linux 12";
    report.system.architecture = "x86_64";
    report.system.gpu = {"GPU " + std::to_string(device % 5)};
    report.system.disks =
        std::vector<nvx::DiskSummary>{{"nvme0n1", "SSD 980", 1'000'204'886'016ULL, "NVMe", true, true, {"/", "/home"}}};
    std::string pci = "{\"SPPCIDataType\": [";
    for (int i = 0; i < 12; ++i)
        pci += std::string(i ? ", " : "") + "{\"_name\": \"PCI device " + std::to_string(i) +
               "\", \"vendor\": \"Vendor\"}";
    report.inventory = nvx::JSONValue::parse(pci + "]}");
    std::normal_distribution<double> spread(1.0, 0.08);
    const char* ids[] = {"cpu_single", "cpu_multi", "memory_copy", "gpu_compute", "disk_write", "disk_read"};
    const double bases[] = {400, 2800, 9000, 1500, 1800, 2500};
    for (int i = 0; i < 6; ++i) {
        nvx::Metric metric;
        metric.id = ids[i];
        metric.title = ids[i];
        metric.value = bases[i] * (0.8 + 0.02 * (device % 20)) * spread(random);
        metric.unit = "u";
        metric.status = "ok";
        report.metrics.push_back(metric);
    }
    report.completed = true;
    return report;
}

struct Figures {
    double median;
    double p90;
};

Figures measure(httplib::Client& client, const std::vector<std::string>& targets, const char* mustSay = "") {
    std::vector<double> times;
    for (const auto& target : targets) {
        const auto start = Clock::now();
        const auto answer = client.Get(target);
        times.push_back(millisecondsSince(start));
        if (!answer || answer->status != 200 || answer->body.find(mustSay) == std::string::npos) {
            std::fprintf(stderr, "GET %s failed (%d, %s)\n", target.c_str(), answer ? answer->status : -1,
                         answer ? "" : httplib::to_string(answer.error()).c_str());
            std::exit(1);
        }
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times[times.size() * 9 / 10]};
}

std::string encoded(const std::string& text) {
    std::string result;
    char buffer[4];
    for (unsigned char c : text) {
        if (std::isalnum(c)) {
            result += static_cast<char>(c);
        } else {
            std::snprintf(buffer, sizeof buffer, "%%%02X", c);
            result += buffer;
        }
    }
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    const int reports = argc > 1 ? std::atoi(argv[1]) : 100'000;
    const int devices = argc > 2 ? std::atoi(argv[2]) : 2'000;
    const std::filesystem::path folder =
        argc > 3 ? std::filesystem::path(argv[3])
                 : std::filesystem::temp_directory_path() / ("nvx-perf-pages-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const auto database = folder / "depot.sqlite";
    std::mt19937_64 random(7);
    std::vector<std::string> deviceIds;
    for (int device = 0; device < devices; ++device) deviceIds.push_back(nvx::randomUUID());

    nvx::depot::SqliteStore store(database);
    std::vector<std::string> runIds;
    {
        const auto start = Clock::now();
        const int runsPerDevice = reports / devices;
        std::vector<NewRun> batch;
        // Records arrive over time, a round of every computer after another.
        for (int run = 0; run < runsPerDevice; ++run) {
            for (int device = 0; device < devices; ++device) {
                const nvx::RunReport report = generatedReport(random, device, run, deviceIds[device]);
                NewRun stored = nvx::depot::fleetColumns(report);
                stored.keyDigest = nvx::depot::receiptKeyDigest(std::string(64, 'a'));
                stored.body = report.data();
                const long seconds = static_cast<long>(run) * 86400 / 2 + device * 20;
                char time[32];
                std::snprintf(time, sizeof time, "2026-01-%02ldT%02ld:%02ld:%02ldZ", 1 + seconds / 86400,
                              seconds / 3600 % 24, seconds / 60 % 60, seconds % 60);
                stored.receivedAt = time;
                if (run == runsPerDevice - 1 || random() % 50 == 0) runIds.push_back(stored.id);
                batch.push_back(std::move(stored));
            }
            if (batch.size() >= 20'000 || run == runsPerDevice - 1) {
                store.storeAll(batch);
                batch.clear();
            }
        }
        std::printf("seeded %d reports of %d computers in %.1f s (%.0f MB database)\n", reports, devices,
                    millisecondsSince(start) / 1000, static_cast<double>(std::filesystem::file_size(database)) / 1e6);
    }

    nvx::depot::DepotServer server;
    nvx::depot::DepotService service(store, nullptr);
    service.install(server);
    const int port = server.bindAndListen("127.0.0.1", 0);
    server.start();
    httplib::Client client("127.0.0.1", port);
    client.set_keep_alive(true);
    client.set_read_timeout(60);

    std::vector<std::string> list(200, "/");
    std::vector<std::string> byModel, byModelAndText, nowhere, devicePages, recordPages;
    for (int i = 0; i < 200; ++i) {
        byModel.push_back("/?model=" + encoded(models[i % 20]));
        byModelAndText.push_back("/?model=" + encoded(models[i % 20]) +
                                 "&q=" + encoded("отдел " + std::to_string(i % 37)));
        nowhere.push_back("/?q=" + encoded("нигде-" + std::to_string(i)));
        devicePages.push_back("/devices/" + deviceIds[random() % deviceIds.size()]);
        recordPages.push_back("/?run=" + runIds[random() % runIds.size()]);
    }
    // Deeper pages: follow cursors of the list a few pages down is the same
    // query shape as the first page; the first page is what people open.
    struct Case {
        const char* name;
        const std::vector<std::string>* targets;
        const char* mustSay;  // proof that the page is the one meant
    };
    const Case cases[] = {
        {"list page (50 records)", &list, "Старее"},
        {"list filtered by model", &byModel, "Старее"},
        {"list filtered by model and text", &byModelAndText, "<tr class=\"run\""},
        {"list filtered by a text found nowhere", &nowhere, "не подходит ни одна опись"},
        {"device page (50 records, charts, changes)", &devicePages, "<circle class=\"point\""},
        {"record page with percentiles", &recordPages, "-й процентиль среди"},
    };
    measure(client, {"/", "/?run=" + runIds.front()});  // warm the readers
    for (const Case& each : cases) {
        const Figures figures = measure(client, *each.targets, each.mustSay);
        std::printf("%-44s median %7.2f ms   p90 %7.2f ms   %s\n", each.name, figures.median, figures.p90,
                    figures.p90 <= 20 ? "(≤ 20 ms: met)" : "(≤ 20 ms: NOT met)");
    }

    for (const char* target : {"/export.csv", "/export.json"}) {
        const std::size_t before = residentKibibytes();
        std::size_t peak = before;
        std::size_t bytes = 0;
        std::size_t lines = 0;
        const auto start = Clock::now();
        const auto answer = client.Get(target, [&](const char* data, std::size_t size) {
            bytes += size;
            lines += static_cast<std::size_t>(std::count(data, data + size, '\n'));
            peak = std::max(peak, residentKibibytes());
            return true;
        });
        const double milliseconds = millisecondsSince(start);
        if (!answer || answer->status != 200) {
            std::fprintf(stderr, "GET %s failed (%d, %s)\n", target, answer ? answer->status : -1,
                         answer ? "" : httplib::to_string(answer.error()).c_str());
            return 1;
        }
        std::printf("%-12s %zu lines, %.1f MB in %.0f ms %s; resident memory %zu MB before, %zu MB at peak\n", target,
                    lines, static_cast<double>(bytes) / 1e6, milliseconds,
                    milliseconds <= 2000 ? "(≤ 2 s: met)" : "(≤ 2 s: NOT met)", before / 1024, peak / 1024);
    }
    server.stop();
    if (argc <= 3) std::filesystem::remove_all(folder);
    return 0;
}
