// A fault sweep of the process runner: many runs of `command` mixing every
// way a tool can misbehave, then a count of what was left behind. Prints the
// figures and exits non-zero when anything leaked or an outcome was not the
// documented one.
//
//   perf_runner_faults [RUNS] [SEED]      (default 1000 runs)
//
// Run as root, the full-temporary-folder case uses a 64 KiB tmpfs filled to
// the last byte; otherwise that case is skipped with a message.

#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/errors.h"
#include "core/stop_token.h"
#include "inventory/process_runner.h"

namespace fs = std::filesystem;
using namespace nvx;

namespace {

enum class Fault {
    none,
    timeOut,
    cancelled,
    ignoresTerm,
    grandchild,
    hugeStandardError,
    standardOutputClosed,
    killedBySignal,
    missingTool,
    fullTemporaryFolder,
};

const std::map<Fault, const char*> faultNames = {
    {Fault::none, "clean exit"},
    {Fault::timeOut, "time-out"},
    {Fault::cancelled, "cancellation at a random moment"},
    {Fault::ignoresTerm, "ignores SIGTERM"},
    {Fault::grandchild, "forks a grandchild and exits"},
    {Fault::hugeStandardError, "100 MB on stderr, then fails"},
    {Fault::standardOutputClosed, "closes stdout at once"},
    {Fault::killedBySignal, "killed by a signal"},
    {Fault::missingTool, "missing executable"},
    {Fault::fullTemporaryFolder, "full temporary folder"},
};

// Shares per thousand runs. The slow cases (2 s grace for a child that
// ignores SIGTERM, 100 MB written) are fewer.
const std::vector<std::pair<Fault, int>> mix = {
    {Fault::none, 180},          {Fault::timeOut, 120},          {Fault::cancelled, 150},
    {Fault::ignoresTerm, 25},    {Fault::grandchild, 120},       {Fault::hugeStandardError, 25},
    {Fault::standardOutputClosed, 110}, {Fault::killedBySignal, 110}, {Fault::missingTool, 100},
    {Fault::fullTemporaryFolder, 60},
};

constexpr const char* timeOutMessage = "Сбор сведений превысил 0 секунд. Попробуйте повторить опись.";
constexpr const char* failureMessage = "Не удалось собрать системные сведения: ";

std::size_t openDescriptors() {
    std::size_t count = 0;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        (void)entry;
        ++count;
    }
    return count - 1;  // the listing's own descriptor
}

// Live processes whose parent is this one. As a child subreaper this process
// also adopts any grandchild whose parent has gone.
std::size_t liveChildren() {
    std::size_t count = 0;
    const std::string self = std::to_string(::getpid());
    for (const auto& entry : fs::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line)) continue;
        const auto close = line.rfind(')');
        if (close == std::string::npos) continue;
        char state = 0;
        long parent = 0;
        if (std::sscanf(line.c_str() + close + 1, " %c %ld", &state, &parent) != 2) continue;
        if (std::to_string(parent) == self && state != 'Z') ++count;
    }
    return count;
}

std::size_t leftoverFolders(const fs::path& folder) {
    std::size_t count = 0;
    std::error_code error;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error))
        if (entry->path().filename().string().starts_with("nvx-command-")) ++count;
    return count;
}

struct Outcome {
    std::string kind;  // "output", "depotrium", "cancelled", "launch", "filesystem", "other"
    std::string text;
};

Outcome run(const std::string& tool, const std::vector<std::string>& arguments, const StopToken& token,
            double timeoutSeconds) {
    try {
        return {"output", command(tool, arguments, token, timeoutSeconds)};
    } catch (const CancellationError&) {
        return {"cancelled", {}};
    } catch (const DepotriumError& error) {
        return {"depotrium", error.message()};
    } catch (const LaunchError& error) {
        return {"launch", error.what()};
    } catch (const FileSystemError& error) {
        return {"filesystem", error.what()};
    } catch (const std::exception& error) {
        return {"other", error.what()};
    }
}

bool startsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

// Whether the outcome is the documented one for the fault; `why` says what
// was expected when not.
bool expected(Fault fault, const Outcome& outcome, std::string& why) {
    switch (fault) {
        case Fault::none:
            why = "the output \"ok\\n\"";
            return outcome.kind == "output" && outcome.text == "ok\n";
        case Fault::timeOut:
        case Fault::ignoresTerm:
            why = timeOutMessage;
            return outcome.kind == "depotrium" && outcome.text == timeOutMessage;
        case Fault::cancelled:
            why = "a cancellation";
            return outcome.kind == "cancelled";
        case Fault::grandchild:
            why = "the output \"started\\n\"";
            return outcome.kind == "output" && outcome.text == "started\n";
        case Fault::hugeStandardError:
            why = std::string(failureMessage) + "and the first 500 characters of stderr";
            return outcome.kind == "depotrium" && outcome.text == failureMessage + std::string(500, 'e');
        case Fault::standardOutputClosed:
            why = "an empty output";
            return outcome.kind == "output" && outcome.text.empty();
        case Fault::killedBySignal:
            why = failureMessage;
            return outcome.kind == "depotrium" && outcome.text == failureMessage;
        case Fault::missingTool:
            why = "Не удалось запустить «/nonexistent/nvx-tool»: …";
            return outcome.kind == "launch" && startsWith(outcome.text, "Не удалось запустить «/nonexistent/nvx-tool»: ");
        case Fault::fullTemporaryFolder:
            // The tool cannot write its answer, or the runner cannot make its files.
            why = std::string(failureMessage) + "or a file-system error";
            return (outcome.kind == "depotrium" && startsWith(outcome.text, failureMessage)) ||
                   (outcome.kind == "filesystem" && startsWith(outcome.text, "Не удалось создать"));
    }
    return false;
}

// A 64 KiB tmpfs filled completely; empty path when it cannot be mounted.
fs::path mountFullTemporaryFolder(const fs::path& at) {
    fs::create_directories(at);
    if (::geteuid() != 0 || ::mount("tmpfs", at.c_str(), "tmpfs", 0, "size=64k,mode=0700") != 0) return {};
    std::ofstream filler(at / "filler", std::ios::binary);
    const std::string block(4096, 'x');
    while (filler.write(block.data(), block.size())) {
    }
    filler.close();
    // The last partial block, byte by byte.
    std::ofstream rest(at / "rest", std::ios::binary);
    while (rest.put('x') && rest.flush()) {
    }
    return at;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 1000;
    const unsigned seed = argc > 2 ? static_cast<unsigned>(std::atoi(argv[2])) : 20261207u;
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);

    // A private temporary folder, so that leftovers of this run are ours to count.
    char pattern[] = "/tmp/nvx-runner-faults-XXXXXX";
    if (!::mkdtemp(pattern)) {
        std::perror("mkdtemp");
        return 2;
    }
    const fs::path scratch = pattern;
    const fs::path temporary = scratch / "tmp";
    fs::create_directories(temporary);
    const fs::path full = mountFullTemporaryFolder(scratch / "full");
    if (full.empty()) std::printf("full temporary folder: skipped (mounting a tmpfs needs root)\n");

    // The runner reads TMPDIR at every call; no other thread reads the
    // environment while it changes here.
    ::setenv("TMPDIR", temporary.c_str(), 1);
    const std::size_t descriptorsBefore = openDescriptors();

    std::mt19937 random(seed);
    std::vector<int> weights;
    for (const auto& [fault, share] : mix) weights.push_back(share);
    std::discrete_distribution<int> pick(weights.begin(), weights.end());
    std::uniform_real_distribution<double> shortWhile(0.0, 0.08);
    std::map<Fault, int> counts, failures;
    int wrong = 0;
    const auto started = std::chrono::steady_clock::now();

    for (int index = 0; index < runs; ++index) {
        Fault fault = mix[static_cast<std::size_t>(pick(random))].first;
        if (fault == Fault::fullTemporaryFolder && full.empty()) fault = Fault::none;
        ++counts[fault];
        StopToken token;
        Outcome outcome;
        const double moment = shortWhile(random);
        switch (fault) {
            case Fault::none:
                outcome = run("/bin/echo", {"ok"}, token, 30);
                break;
            case Fault::timeOut:
                outcome = run("/bin/sleep", {"30"}, token, 0.02 + moment);
                break;
            case Fault::cancelled: {
                std::thread canceller([&] {
                    std::this_thread::sleep_for(std::chrono::duration<double>(moment));
                    token.cancel();
                });
                outcome = run("/bin/sh", {"-c", "sleep 30"}, token, 30);
                canceller.join();
                break;
            }
            case Fault::ignoresTerm:
                outcome = run("/bin/sh", {"-c", "trap '' TERM; sleep 30"}, token, 0.05 + moment);
                break;
            case Fault::grandchild:
                outcome = run("/bin/sh", {"-c", "sleep 30 & echo started"}, token, 30);
                break;
            case Fault::hugeStandardError:
                outcome = run("/bin/sh", {"-c", "head -c 100000000 /dev/zero | tr '\\0' e >&2; exit 3"}, token, 60);
                break;
            case Fault::standardOutputClosed:
                outcome = run("/bin/sh", {"-c", "exec >&-; exit 0"}, token, 30);
                break;
            case Fault::killedBySignal:
                outcome = run("/bin/sh", {"-c", "kill -KILL $$"}, token, 30);
                break;
            case Fault::missingTool:
                outcome = run("/nonexistent/nvx-tool", {}, token, 30);
                break;
            case Fault::fullTemporaryFolder:
                ::setenv("TMPDIR", full.c_str(), 1);
                outcome = run("/bin/sh", {"-c", "echo a long enough answer to need a block"}, token, 30);
                ::setenv("TMPDIR", temporary.c_str(), 1);
                break;
        }
        std::string why;
        if (!expected(fault, outcome, why)) {
            ++wrong;
            ++failures[fault];
            if (failures[fault] <= 3)
                std::printf("run %d (%s): got %s \"%s\", expected %s\n", index, faultNames.at(fault),
                            outcome.kind.c_str(), outcome.text.substr(0, 200).c_str(), why.c_str());
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    const std::size_t descriptorsAfter = openDescriptors();
    const std::size_t processes = liveChildren();
    // Grandchildren the runner killed were adopted here; reap them.
    while (::waitpid(-1, nullptr, WNOHANG) > 0) {
    }
    const std::size_t folders = leftoverFolders(temporary) + (full.empty() ? 0 : leftoverFolders(full));

    std::printf("runner fault sweep: %d runs in %.1f s (seed %u)\n", runs, seconds, seed);
    for (const auto& [fault, count] : counts)
        std::printf("  %-34s %4d runs, %d unexpected outcomes\n", faultNames.at(fault), count, failures[fault]);
    std::printf("leaked descriptors: %ld\n", static_cast<long>(descriptorsAfter) - static_cast<long>(descriptorsBefore));
    std::printf("leftover processes: %zu\n", processes);
    std::printf("leftover nvx-command-* folders: %zu\n", folders);
    std::printf("outcomes not as documented: %d\n", wrong);

    if (!full.empty()) ::umount(full.c_str());
    std::error_code ignored;
    fs::remove_all(scratch, ignored);
    return (descriptorsAfter == descriptorsBefore && processes == 0 && folders == 0 && wrong == 0) ? 0 : 1;
}
