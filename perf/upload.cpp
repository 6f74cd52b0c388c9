// Verified round trips of reports to a local nvx-depot: the median latency
// of a self-test-sized report (~20 KB inventory, 6 metrics) and of one with
// a 1 MB inventory, and how many round trips per second 8 concurrent clients
// sustain. Afterwards the depot is stopped with SIGTERM and its database is
// checked: every acknowledged report must be there, byte for byte.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "core/random_id.h"
#include "core/report.h"
#include "depot/sqlite_store.h"
#include "upload/depotrium_api.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// An inventory shaped like a real machine's: sections of small device
// objects with texts, numbers and flags.
nvx::JSONValue inventoryOfSize(std::size_t targetBytes) {
    nvx::JSONValue::Object sections;
    const char* sectionNames[] = {"SPHardwareDataType", "SPMemoryDataType", "SPStorageDataType", "SPUSBDataType",
                                  "SPPCIDataType",      "SPNetworkDataType", "SPAudioDataType",   "SPDisplaysDataType"};
    std::vector<nvx::JSONValue::Array> devices(std::size(sectionNames));
    std::size_t bytes = 0;
    for (int i = 0; bytes < targetBytes; ++i) {
        nvx::JSONValue::Object device{
            {"_name", nvx::JSONValue("Устройство " + std::to_string(i))},
            {"vendor_id", nvx::JSONValue("0x05ac (Apple Inc.)")},
            {"product_id", nvx::JSONValue(static_cast<double>(0x8600 + i % 256))},
            {"location", nvx::JSONValue("/sys/devices/pci0000:00/0000:00:1d." + std::to_string(i % 8))},
            {"speed", nvx::JSONValue("Up to 5 Gb/s")},
            {"removable", nvx::JSONValue(i % 3 == 0)},
            {"power_mA", nvx::JSONValue(900.5 + i)},
            {"driver", nvx::JSONValue(nvx::JSONValue::Object{{"name", nvx::JSONValue("xhci_hcd")},
                                                             {"version", nvx::JSONValue("6.1.0-18")}})}};
        devices[i % devices.size()].emplace_back(std::move(device));
        bytes += 330;  // about what one device encodes to, pretty-printed
    }
    for (std::size_t i = 0; i < devices.size(); ++i) sections[sectionNames[i]] = nvx::JSONValue(std::move(devices[i]));
    return nvx::JSONValue(std::move(sections));
}

nvx::Metric metric(const char* id, const char* title, double value, const char* unit) {
    nvx::Metric made;
    made.id = id;
    made.title = title;
    made.value = value;
    made.unit = unit;
    made.samples = {value * 0.99, value, value * 1.013};
    made.status = "ok";
    made.note = "Медиана трёх проходов по 0,65 с.";
    made.parameters = {{"seconds", "0.65"}, {"rounds", "3"}};
    made.checksum = "12444965394858534536";
    return made;
}

nvx::RunReport reportWithInventory(std::size_t inventoryBytes) {
    nvx::RunReport report;
    report.id = nvx::randomUUID();
    report.device_id = "00b87eca-99bd-5ee4-8635-a67946105e24";
    report.created_at = "2026-03-01T09:15:00Z";
    report.name = "Монтажная №2";
    report.owner = "Отдел видео";
    report.location = "Береговой цех";
    report.system = {"Mac14,7", "Apple M2", 17179869184ULL, 8, 8, "macOS 14.4 (23E214)", "arm64", {"Apple M2"},
                     std::vector<nvx::DiskSummary>{{"disk0", "APPLE SSD AP0512Z", 500277790720ULL, "Apple Fabric",
                                                    true, true, {"Macintosh HD", "Data"}}},
                     std::nullopt};
    report.inventory = inventoryOfSize(inventoryBytes);
    report.warnings = {"Fibre Channel: раздел не получен."};
    report.metrics = {metric("cpu_single", "Процессор · один поток", 412.7, "M итераций/с"),
                      metric("cpu_multi", "Процессор · все потоки", 3190.2, "M итераций/с"),
                      metric("memory_copy", "Память · копирование", 61.4, "ГБ/с"),
                      nvx::Metric::skipped("gpu_compute", "Графика", "GPU не найден."),
                      metric("disk_write", "Диск · запись", 2870.0, "МБ/с"),
                      metric("disk_read", "Диск · чтение", 3410.0, "МБ/с")};
    report.completed = true;
    return report;
}

// The nvx-depot child, stopped with SIGTERM (or killed) and always reaped.
class DepotChild {
public:
    explicit DepotChild(const std::filesystem::path& database) {
        int channel[2];
        if (pipe2(channel, O_CLOEXEC) != 0) throw std::runtime_error("pipe2");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, channel[1], STDOUT_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        std::vector<std::string> arguments = {NVX_DEPOT_BINARY, "--listen", "127.0.0.1:0", "--db", database.string()};
        std::vector<char*> argv;
        for (auto& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        const int spawned = posix_spawn(&pid_, NVX_DEPOT_BINARY, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(channel[1]);
        if (spawned != 0) {
            ::close(channel[0]);
            throw std::runtime_error("nvx-depot не запустился");
        }
        FILE* output = fdopen(channel[0], "r");
        char line[256] = {};
        const bool read = std::fgets(line, sizeof line, output) != nullptr;
        std::fclose(output);
        std::cmatch match;
        if (!read || !std::regex_search(line, match, std::regex(R"(слушает (http://\S+))"))) {
            stop(SIGKILL);
            throw std::runtime_error("nvx-depot не сообщил адрес");
        }
        address_ = match[1].str();
    }
    ~DepotChild() {
        if (pid_ > 0) stop(SIGKILL);
    }
    const std::string& address() const { return address_; }
    pid_t pid() const { return pid_; }
    int stop(int signal) {
        ::kill(pid_, signal);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    std::string address_;
};

// Processor time used so far by this process and by the depot child, in
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

Latency measureLatency(const std::string& address, std::size_t inventoryBytes, int rounds, int warmUp) {
    std::vector<double> times;
    for (int i = 0; i < warmUp + rounds; ++i) {
        nvx::RunReport report = reportWithInventory(inventoryBytes);  // a fresh id each time
        const auto start = Clock::now();
        nvx::DepotriumAPI::upload(report, address);
        const double elapsed = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        if (i >= warmUp) times.push_back(elapsed);
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times[times.size() * 9 / 10]};
}

}  // namespace

int main() {
    const auto folder = std::filesystem::temp_directory_path() / ("nvx-perf-upload-" + nvx::randomUUID());
    std::filesystem::create_directories(folder);
    const auto database = folder / "depot.sqlite";
    int exitStatus = 0;
    try {
        std::vector<std::pair<std::string, std::string>> acknowledged;  // id, bytes sent
        std::atomic<int> failures{0};
        double perSecond = 0;
        std::string concurrentCost;
        int depotExit = -1;
        {
            DepotChild depot(database);
            const nvx::RunReport small = reportWithInventory(20'000);
            const nvx::RunReport large = reportWithInventory(1'000'000);
            std::printf("Отчёт самопроверки: %zu байт, с описью в 1 МБ: %zu байт\n", small.data().size(),
                        large.data().size());

            ProcessorUse smallUse{depot.pid()};
            const Latency smallLatency = measureLatency(depot.address(), 20'000, 200, 10);
            std::printf("Проверенная отправка отчёта самопроверки: медиана %.2f мс, 90%% быстрее %.2f мс (цель ≤ 15 мс); %s\n",
                        smallLatency.medianMilliseconds, smallLatency.slowestTenthMilliseconds,
                        smallUse.perRoundTrip(210).c_str());
            ProcessorUse largeUse{depot.pid()};
            const Latency largeLatency = measureLatency(depot.address(), 1'000'000, 30, 3);
            std::printf("Проверенная отправка с описью в 1 МБ: медиана %.2f мс, 90%% быстрее %.2f мс (цель ≤ 60 мс); %s\n",
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
            std::printf("  из них JSON (1 МБ): запись %.2f мс, чтение и сравнение %.2f мс (чтение дважды за отправку)\n",
                        encode[4], decode[4]);

            constexpr int clients = 8;
            constexpr auto duration = std::chrono::seconds(5);
            std::mutex acknowledgedLock;
            std::atomic<bool> go{false};
            std::vector<std::thread> threads;
            const auto deadline = [&] { return Clock::now() + duration; };
            Clock::time_point end;
            for (int client = 0; client < clients; ++client) {
                threads.emplace_back([&] {
                    while (!go) std::this_thread::yield();
                    std::vector<std::pair<std::string, std::string>> mine;
                    while (Clock::now() < end) {
                        nvx::RunReport report = small;
                        report.id = nvx::randomUUID();
                        try {
                            nvx::DepotriumAPI::upload(report, depot.address());
                            mine.emplace_back(report.id, report.data());
                        } catch (const std::exception&) {
                            ++failures;
                        }
                    }
                    std::lock_guard lock(acknowledgedLock);
                    acknowledged.insert(acknowledged.end(), mine.begin(), mine.end());
                });
            }
            ProcessorUse concurrentUse{depot.pid()};
            const auto start = Clock::now();
            end = deadline();
            go = true;
            for (auto& thread : threads) thread.join();
            const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
            perSecond = static_cast<double>(acknowledged.size()) / seconds;
            concurrentCost = concurrentUse.perRoundTrip(std::max<std::size_t>(1, acknowledged.size() + failures));
            depotExit = depot.stop(SIGTERM);
        }

        nvx::depot::SqliteStore reopened(database);
        std::size_t lost = 0;
        for (const auto& [id, bytes] : acknowledged) {
            const auto stored = reopened.find(id);
            if (!stored || stored->body != bytes) ++lost;
        }
        std::printf(
            "8 клиентов одновременно: %.0f проверенных отправок в секунду (цель ≥ 300); подтверждено %zu, "
            "ошибок %d, после остановки (код %d) не найдено в базе %zu; %s\n",
            perSecond, acknowledged.size(), failures.load(), depotExit, lost, concurrentCost.c_str());
        if (lost != 0 || failures != 0 || depotExit != 0) exitStatus = 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "perf_upload: %s\n", error.what());
        exitStatus = 1;
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return exitStatus;
}
