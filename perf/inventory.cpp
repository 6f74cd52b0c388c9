// Times Collector::collect on this machine (median of many runs), measures the
// extra memory it needs (growth of the peak resident size), and in the same
// run times the inventory tools that are installed, printing their medians as
// multiples of ours. Tools that are missing are named and skipped, never
// installed.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "inventory/collector.h"

extern char** environ;

namespace {

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
        const std::filesystem::path path = std::filesystem::path(folder) / name;
        if (::access(path.c_str(), X_OK) == 0) return path;
    }
    return {};
}

// Runs a tool with its output thrown away; false when it cannot be started.
bool runQuietly(const std::string& tool, const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    std::string name = tool;
    argv.push_back(name.data());
    std::vector<std::string> copies = arguments;
    for (auto& argument : copies) argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    const int failed = posix_spawn(&child, tool.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed) return false;
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return true;
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

    std::printf("Collector::collect: median %.2f ms over %d runs (target <= 30 ms)\n", ours, runs);
    std::printf("extra memory (peak resident growth): %.2f MiB (target <= 20 MiB)\n", extraMebibytes);
    std::printf("sections: %zu, disks: %zu, warnings: %zu, inventory bytes: %zu\n",
                report.inventory.object() ? report.inventory.object()->size() : 0,
                report.system.disks ? report.system.disks->size() : 0, report.warnings.size(),
                report.data().size());

    struct Tool {
        const char* name;
        std::vector<std::string> arguments;
        int runs;
    };
    const std::vector<Tool> tools = {
        {"lshw", {"-json"}, 5}, {"hwinfo", {"--short"}, 5}, {"inxi", {"-F"}, 3}, {"lsblk", {}, 11}};
    for (const Tool& tool : tools) {
        const std::string path = findTool(tool.name);
        if (path.empty()) {
            std::printf("%-8s not installed here; skipped\n", tool.name);
            continue;
        }
        bool started = true;
        const double theirs = medianMilliseconds(tool.runs, [&] { started = started && runQuietly(path, tool.arguments); });
        if (!started) {
            std::printf("%-8s could not be started; skipped\n", tool.name);
            continue;
        }
        std::printf("%-8s median %.2f ms = %.2f x ours\n", tool.name, theirs, theirs / ours);
    }
    return 0;
}
