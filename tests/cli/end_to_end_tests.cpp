// The real binaries against each other on loopback: depotrium's headless
// modes and nvx-depot.
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <httplib.h>

#include "support/child_process.h"

namespace nvx {
namespace {

namespace fs = std::filesystem;
using testing::BackgroundProcess;
using testing::runProcess;

std::string readFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

// Whether any value of any row of any table of the database equals `bytes`:
// the depot's schema is its own business; what matters is that it keeps the
// submitted document verbatim.
bool databaseHoldsBytes(const fs::path& database, const std::string& bytes) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return false;
    }
    std::vector<std::string> tables;
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, "SELECT name FROM sqlite_master WHERE type = 'table'", -1, &statement, nullptr);
    while (sqlite3_step(statement) == SQLITE_ROW)
        tables.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
    sqlite3_finalize(statement);
    bool found = false;
    for (const auto& table : tables) {
        const std::string query = "SELECT * FROM \"" + table + "\"";
        sqlite3_prepare_v2(db, query.c_str(), -1, &statement, nullptr);
        while (!found && sqlite3_step(statement) == SQLITE_ROW) {
            for (int column = 0; column < sqlite3_column_count(statement); ++column) {
                const void* value = sqlite3_column_blob(statement, column);
                const int size = sqlite3_column_bytes(statement, column);
                if (value && std::string(static_cast<const char*>(value), size) == bytes) found = true;
            }
        }
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return found;
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("nvx-e2e-" + std::to_string(::getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    // A real depot on a free loopback port; returns its address.
    std::string startDepot() {
        depot_ = std::make_unique<BackgroundProcess>(
            std::vector<std::string>{NVX_DEPOT_BINARY, "--listen", "127.0.0.1:0", "--db",
                                     (folder_ / "depot.sqlite").string()},
            R"((http://127\.0\.0\.1:[0-9]+))");
        return depot_->match();
    }

    fs::path folder_;
    std::unique_ptr<BackgroundProcess> depot_;
};

// Lines of a command's standard output.
std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) result.push_back(line);
    return result;
}

TEST_F(EndToEnd, SelfTestSubmitsAndTheDepotKeepsTheIdenticalBytes) {
    const std::string server = startDepot();
    const fs::path report = folder_ / "report.json";
    const auto run = runProcess({NVX_DEPOTRIUM_BINARY, "--self-test", "--no-disk", "--name", "Стенд e2e",
                                 "--output", report.string(), "--submit", server});
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(run.err, "");

    const auto out = lines(run.out);
    const auto reportLine = std::find(out.begin(), out.end(), "REPORT " + report.string());
    ASSERT_NE(reportLine, out.end()) << run.out;
    ASSERT_GE(out.end() - reportLine, 9) << "REPORT, DEVICE, six metrics and SAVED";
    EXPECT_TRUE(std::regex_match(reportLine[1], std::regex("DEVICE [0-9a-f-]{36}")));
    const char* ids[] = {"cpu_single", "cpu_multi", "memory_copy", "gpu_compute", "disk_write", "disk_read"};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(reportLine[2 + i].rfind(std::string(ids[i]) + ": ", 0), 0u);
    EXPECT_EQ(reportLine[6], "disk_write: skipped  [skipped]");
    EXPECT_TRUE(std::regex_match(reportLine[8], std::regex("SAVED " + server + "/?\\?run=[0-9a-f-]{36}")))
        << reportLine[8];

    ASSERT_EQ(depot_->stop(), 0) << "the depot stops cleanly";
    EXPECT_TRUE(databaseHoldsBytes(folder_ / "depot.sqlite", readFile(report)));
}

TEST_F(EndToEnd, UploadCheckRoundTripsAReportFile) {
    const std::string server = startDepot();
    // A self-test report file without running the benchmarks: the fixture
    // is the document format itself.
    const fs::path report = folder_ / "report.json";
    std::ofstream(report) << R"({"benchmark_version":"1.0.0","completed":true,"created_at":"2026-03-01T09:15:00Z",
      "device_id":"00b87eca-99bd-5ee4-8635-a67946105e24","id":"5a0c2d4e-1b3f-4a5b-8c6d-7e8f9a0b1c2d",
      "inventory":{"SPHardwareDataType":[{"machine_model":"Mac14,7"}]},"location":"Береговой цех","metrics":[],
      "name":"Стенд","owner":"Отдел","schema_version":1,"system":{"architecture":"arm64","chip":"Apple M2",
      "gpu":[],"logical_cores":8,"memory_bytes":17179869184,"model":"Mac14,7","os":"macOS 14.4",
      "physical_cores":8},"warnings":[]})";
    const auto run = runProcess({NVX_DEPOTRIUM_BINARY, "--upload-check", "--report", report.string(), "--server", server});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "PASSWORDLESS FULL REPORT ROUNDTRIP OK\n");
    EXPECT_EQ(run.err, "");
}

TEST_F(EndToEnd, RefusingDepotEndsTheSelfTestWithStatusTwoAndTheUploadCheckWithOne) {
    httplib::Server refusing;
    refusing.Post("/api/runs", [](const httplib::Request&, httplib::Response& response) {
        response.status = 500;
        response.set_content(R"({"error": "Склад на обслуживании."})", "application/json");
    });
    const int port = refusing.bind_to_any_port("127.0.0.1");
    std::thread serving([&] { refusing.listen_after_bind(); });
    const std::string server = "http://127.0.0.1:" + std::to_string(port);

    const fs::path report = folder_ / "report.json";
    const auto selfTest = runProcess({NVX_DEPOTRIUM_BINARY, "--self-test", "--no-disk", "--output", report.string(),
                                      "--submit", server});
    const auto uploadCheck = runProcess({NVX_DEPOTRIUM_BINARY, "--upload-check", "--report", report.string(),
                                         "--server", server});
    refusing.stop();
    serving.join();

    EXPECT_EQ(selfTest.status, 2);
    EXPECT_EQ(selfTest.err, "UPLOAD ERROR: Склад на обслуживании.\n");
    EXPECT_NE(selfTest.out.find("REPORT " + report.string()), std::string::npos) << "the report stays written";
    EXPECT_TRUE(fs::exists(report));
    EXPECT_EQ(uploadCheck.status, 1);
    EXPECT_EQ(uploadCheck.err, "UPLOAD CHECK ERROR: Склад на обслуживании.\n");
    EXPECT_EQ(uploadCheck.out, "");
}

TEST_F(EndToEnd, UploadCheckWinsOverSelfTestAndFailsWithoutAReport) {
    // No --report: the empty path cannot be read and nothing is sent.
    const auto run = runProcess({NVX_DEPOTRIUM_BINARY, "--self-test", "--upload-check"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind("UPLOAD CHECK ERROR: ", 0), 0u) << run.err;
}

TEST_F(EndToEnd, UploadCheckRefusesAReportWithoutCompletedBeforeAnyNetwork) {
    const fs::path report = folder_ / "broken.json";
    std::ofstream(report) << R"({"schema_version": 1})";
    // Port 9 (discard) is closed on loopback; a network attempt would say so.
    const auto run = runProcess({NVX_DEPOTRIUM_BINARY, "--upload-check", "--report", report.string(), "--server",
                                 "http://127.0.0.1:9"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "UPLOAD CHECK ERROR: Не удалось прочитать опись: нет обязательного поля «benchmark_version».\n");
}

TEST_F(EndToEnd, SelfTestIntoAMissingFolderFailsWithoutAReportLine) {
    const auto run = runProcess({NVX_DEPOTRIUM_BINARY, "--self-test", "--no-disk", "--output",
                                 (folder_ / "missing" / "report.json").string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err.rfind("SELF TEST ERROR: Не удалось записать файл", 0), 0u) << run.err;
    EXPECT_EQ(run.out.find("REPORT "), std::string::npos);
    EXPECT_NE(run.out.find("Бурко осматривает оборудование\n"), std::string::npos) << "progress lines stay";
}

TEST_F(EndToEnd, CoreChecksPass) {
    const auto run = runProcess({NVX_DEPOTRIUM_BINARY, "--check-core"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "CORE CHECKS OK; workload checksum 12444965394858534536; stable identity, privacy filter, URL policy, "
              "cancellation\n");
}

}  // namespace
}  // namespace nvx
