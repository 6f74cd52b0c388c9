// The Linux inventory's speed and memory, in the process and as a whole
// process, beside common inventory tools.
//
// In the process: Collector::collect's median over many runs (warm: the ID
// databases and sysfs are in the file cache, the heap is grown) and the extra
// memory it needs (growth of the peak resident size).
// As a whole process: print_inventory (the inventory of this machine printed as
// JSON, started afresh each time, as a user meets it), /bin/true as the floor
// of starting any process here, and lshw, hwinfo and inxi where installed:
// median wall-clock time, median processor time (user + system) and minor page
// faults per run. Tools that are missing are named and skipped, never
// installed.
//
//   perf_inventory [runs]        (default 31)
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "inventory/collector.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

template <typename Work>
double medianMilliseconds(int runs, Work work) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Resident size now and at its peak, in kibibytes, from /proc/self/status.
long statusKibibytes(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::string(field).size()));
    return 0;
}

std::string findTool(const std::string& name) {
    for (const char* folder : {"/usr/bin", "/usr/sbin", "/bin", "/sbin", "/usr/local/bin", "/usr/local/sbin"}) {
        const fs::path path = fs::path(folder) / name;
        if (::access(path.c_str(), X_OK) == 0) return path;
    }
    return {};
}

struct ProcessCost {
    double wallMilliseconds;
    double processorMilliseconds;  // user + system
    long minorFaults;
};

// Runs a program with its output thrown away and says what it cost; nothing
// when it cannot be started.
std::optional<ProcessCost> runQuietly(const std::string& program, const std::vector<std::string>& arguments) {
    std::vector<std::string> copies = arguments;
    copies.insert(copies.begin(), program);
    std::vector<char*> argv;
    for (auto& argument : copies) argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    const int failed = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed) return std::nullopt;
    int status = 0;
    rusage usage{};
    while (::wait4(child, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    const double wall = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    const auto milliseconds = [](const timeval& time) { return time.tv_sec * 1000.0 + time.tv_usec / 1000.0; };
    return ProcessCost{wall, milliseconds(usage.ru_utime) + milliseconds(usage.ru_stime), usage.ru_minflt};
}

// Medians of `runs` whole runs of the program, after one run that fills the
// file caches.
std::optional<ProcessCost> medianCost(const std::string& program, const std::vector<std::string>& arguments, int runs) {
    if (!runQuietly(program, arguments)) return std::nullopt;
    std::vector<double> wall, processor, faults;
    for (int i = 0; i < runs; ++i) {
        const auto cost = runQuietly(program, arguments);
        if (!cost) return std::nullopt;
        wall.push_back(cost->wallMilliseconds);
        processor.push_back(cost->processorMilliseconds);
        faults.push_back(static_cast<double>(cost->minorFaults));
    }
    return ProcessCost{median(wall), median(processor), static_cast<long>(median(faults))};
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 31;
    const nvx::StopToken token;

    const long residentBefore = statusKibibytes("VmRSS:");
    nvx::RunReport report = nvx::Collector::collect(token, {});  // first run: warms the file caches
    const double ours = medianMilliseconds(runs, [&] { report = nvx::Collector::collect(token, {}); });
    const long peakAfter = statusKibibytes("VmHWM:");
    const double extraMebibytes = static_cast<double>(peakAfter - residentBefore) / 1024.0;

    std::printf("Collector::collect in the process: median %.2f ms over %d runs (target <= 30 ms)\n", ours, runs);
    std::printf("extra memory (peak resident growth): %.2f MiB (target <= 20 MiB)\n", extraMebibytes);
    std::printf("sections: %zu, disks: %zu, warnings: %zu, inventory bytes: %zu\n",
                report.inventory.object() ? report.inventory.object()->size() : 0,
                report.system.disks ? report.system.disks->size() : 0, report.warnings.size(), report.data().size());

    std::error_code error;
    const fs::path printer = fs::read_symlink("/proc/self/exe", error).parent_path() / "print_inventory";
    struct Program {
        std::string label;
        std::string path;
        std::vector<std::string> arguments;
        int runs;
    };
    const std::vector<Program> programs = {
        {"print_inventory", printer.string(), {}, runs}, {"/bin/true", "/bin/true", {}, runs},
        {"lshw -json", findTool("lshw"), {"-json"}, 5},  {"hwinfo --short", findTool("hwinfo"), {"--short"}, 5},
        {"inxi -Fxxz", findTool("inxi"), {"-Fxxz"}, 3},  {"lsblk", findTool("lsblk"), {}, 11},
    };
    std::printf("\nwhole processes, medians (wall / processor time / minor page faults):\n");
    std::optional<ProcessCost> whole;
    for (const Program& program : programs) {
        const auto cost =
            program.path.empty() ? std::nullopt : medianCost(program.path, program.arguments, program.runs);
        if (!cost) {
            std::printf("%-16s not installed here or could not be started; skipped\n", program.label.c_str());
            continue;
        }
        if (!whole) whole = cost;
        std::printf("%-16s %8.2f ms wall  %8.2f ms processor  %6ld faults", program.label.c_str(),
                    cost->wallMilliseconds, cost->processorMilliseconds, cost->minorFaults);
        if (program.label == "print_inventory")
            std::printf("   (target <= 8 ms)\n");
        else
            std::printf("   = %.2f x print_inventory's wall\n", cost->wallMilliseconds / whole->wallMilliseconds);
    }
    return 0;
}
