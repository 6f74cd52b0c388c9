// The nvx-depot executable itself: it announces its real port, serves the
// upload client, and a SIGTERM stops it with every acknowledged record on
// disk.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <regex>

#include "core/files.h"
#include "depot/sqlite_store.h"
#include "support/sample_reports.h"
#include "support/scratch_folder.h"
#include "upload/depotrium_api.h"

extern char** environ;

namespace nvx::depot {
namespace {

// A child nvx-depot; killed and reaped on every way out of the test.
class DepotProcess {
public:
    DepotProcess(const std::filesystem::path& database, const std::filesystem::path& log) {
        int channel[2];
        if (pipe2(channel, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, channel[1], STDOUT_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        std::vector<std::string> arguments = {NVX_DEPOT_BINARY, "--listen", "127.0.0.1:0", "--db", database.string()};
        std::vector<char*> argv;
        for (auto& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        const int spawned = posix_spawn(&pid_, NVX_DEPOT_BINARY, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(channel[1]);
        if (spawned != 0) {
            ::close(channel[0]);
            pid_ = -1;
            throw std::runtime_error("spawn");
        }
        output_ = fdopen(channel[0], "r");
    }

    ~DepotProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (output_ != nullptr) std::fclose(output_);
    }

    std::string firstLine() {
        char buffer[256] = {};
        if (std::fgets(buffer, sizeof buffer, output_) == nullptr) return {};
        std::string line = buffer;
        if (!line.empty() && line.back() == '\n') line.pop_back();
        return line;
    }

    // Sends the signal and waits; returns the exit status.
    int stop(int signal) {
        ::kill(pid_, signal);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

private:
    pid_t pid_ = -1;
    FILE* output_ = nullptr;
};

class DepotExecutable : public ::testing::TestWithParam<int> {};

TEST_P(DepotExecutable, ServesOnItsAnnouncedPortAndStopsWithoutLosingRecords) {
    testing::ScratchFolder folder;
    const auto database = folder.path() / "new folder" / "depot.sqlite";
    const auto log = folder.path() / "depot.log";
    std::vector<std::string> ids;
    {
        DepotProcess depot(database, log);
        const std::string line = depot.firstLine();
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, std::regex(R"(nvx-depot слушает (http://127\.0\.0\.1:(\d+)))")))
            << line;
        EXPECT_NE(match[2].str(), "0");
        for (int i = 0; i < 5; ++i) {
            RunReport report = testing::sampleReport();
            report.id = "run-" + std::to_string(i);
            DepotriumAPI::upload(report, match[1].str());
            ids.push_back(report.id);
        }
        EXPECT_EQ(depot.stop(GetParam()), 0);
    }
    SqliteStore reopened(database);
    for (const auto& id : ids) EXPECT_TRUE(reopened.find(id)) << id;
    EXPECT_NE(readWholeFile(log).find("POST /api/runs 200"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Signals, DepotExecutable, ::testing::Values(SIGTERM, SIGINT));

TEST(DepotExecutableUsage, RefusesAnUnknownOption) {
    const std::string command = std::string(NVX_DEPOT_BINARY) + " --bogus 2>/dev/null";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2);
}

}  // namespace
}  // namespace nvx::depot
