// Prints the cost of `command` for a tool that exits at once, beside a bare
// posix_spawn + waitpid of the same tool; the delay between a stop request
// and the call's return; and how late a time-out is noticed.

#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "core/errors.h"
#include "core/stop_token.h"
#include "inventory/process_runner.h"

extern char** environ;

namespace {

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double bareSpawn(const char* tool) {
    const double start = nvx::monotonic();
    char* argv[] = {const_cast<char*>(tool), nullptr};
    pid_t child = -1;
    if (::posix_spawn(&child, tool, nullptr, nullptr, argv, environ) != 0) return -1;
    int status = 0;
    ::waitpid(child, &status, 0);
    return nvx::monotonic() - start;
}

}  // namespace

int main() {
    const char* tool = "/bin/true";
    const int rounds = 200;
    std::vector<double> bare, runner;
    nvx::StopToken token;
    for (int i = 0; i < rounds; ++i) {
        bare.push_back(bareSpawn(tool));
        const double start = nvx::monotonic();
        nvx::command(tool, {}, token);
        runner.push_back(nvx::monotonic() - start);
    }
    std::printf("quick tool (%s), median of %d calls\n", tool, rounds);
    std::printf("  bare posix_spawn + waitpid: %8.3f ms\n", median(bare) * 1e3);
    std::printf("  command():                  %8.3f ms\n", median(runner) * 1e3);

    std::vector<double> stopDelays;
    for (int i = 0; i < 10; ++i) {
        nvx::StopToken run;
        double stoppedAt = 0;
        std::thread stopper([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(30 + 7 * i));
            stoppedAt = nvx::monotonic();
            run.cancel();
        });
        try {
            nvx::command("/bin/sleep", {"30"}, run);
        } catch (const nvx::CancellationError&) {
        }
        const double returned = nvx::monotonic();
        stopper.join();
        stopDelays.push_back(returned - stoppedAt);
    }
    std::printf("stop while /bin/sleep runs: median %.1f ms, worst %.1f ms from cancel() to return\n",
                median(stopDelays) * 1e3, *std::max_element(stopDelays.begin(), stopDelays.end()) * 1e3);

    std::vector<double> lateness;
    for (int i = 0; i < 5; ++i) {
        const double limit = 0.2 + 0.013 * i;
        const double start = nvx::monotonic();
        try {
            nvx::command("/bin/sleep", {"30"}, token, limit);
        } catch (const nvx::DepotriumError&) {
        }
        lateness.push_back(nvx::monotonic() - start - limit);
    }
    std::printf("time-out of /bin/sleep: median %.1f ms, worst %.1f ms past the limit\n", median(lateness) * 1e3,
                *std::max_element(lateness.begin(), lateness.end()) * 1e3);
    return 0;
}
