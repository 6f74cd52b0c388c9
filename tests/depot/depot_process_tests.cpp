// The nvx-depot executable itself: it announces its real port, serves the
// upload client, and a SIGTERM stops it with every acknowledged record on
// disk.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include "depot/sqlite_store.h"
#include "support/child_process.h"
#include "support/sample_reports.h"
#include "support/scratch_folder.h"
#include "upload/depotrium_api.h"

namespace nvx::depot {
namespace {

class DepotExecutable : public ::testing::TestWithParam<int> {};

TEST_P(DepotExecutable, ServesOnItsAnnouncedPortAndStopsWithoutLosingRecords) {
    testing::ScratchFolder folder;
    const auto database = folder.path() / "new folder" / "depot.sqlite";
    std::vector<std::string> ids;
    testing::BackgroundProcess depot({NVX_DEPOT_BINARY, "--listen", "127.0.0.1:0", "--db", database.string()},
                                     R"(nvx-depot слушает (http://127\.0\.0\.1:(\d+))\n)");
    EXPECT_FALSE(depot.match().ends_with(":0"));
    for (int i = 0; i < 5; ++i) {
        RunReport report = testing::sampleReport();
        report.id = "run-" + std::to_string(i);
        DepotriumAPI::upload(report, depot.match());
        ids.push_back(report.id);
    }
    EXPECT_EQ(depot.stop(GetParam()), 0);
    SqliteStore reopened(database);
    for (const auto& id : ids) EXPECT_TRUE(reopened.find(id)) << id;
    EXPECT_NE(depot.output().find("POST /api/runs 200"), std::string::npos);
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
