// The real binaries against each other on loopback: depotrium's headless
// modes and nvx-depot.
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include "core/report.h"
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

// A complete report file as the self-test writes one, without running the
// benchmarks: the fixture is the document format itself.
const char* const sampleReportText =
    R"({"benchmark_version":"1.0.0","completed":true,"created_at":"2026-03-01T09:15:00Z",
      "device_id":"00b87eca-99bd-5ee4-8635-a67946105e24","id":"5a0c2d4e-1b3f-4a5b-8c6d-7e8f9a0b1c2d",
      "inventory":{"SPHardwareDataType":[{"machine_model":"Mac14,7"}]},"location":"Береговой цех","metrics":[],
      "name":"Стенд","owner":"Отдел","schema_version":1,"system":{"architecture":"arm64","chip":"Apple M2",
      "gpu":[],"logical_cores":8,"memory_bytes":17179869184,"model":"Mac14,7","os":"macOS 14.4",
      "physical_cores":8},"warnings":[]})";

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
    const fs::path report = folder_ / "report.json";
    std::ofstream(report) << sampleReportText;
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

// depotrium as started on a machine without any display.
testing::ProcessResult runWithoutDisplay(std::vector<std::string> arguments) {
    std::vector<std::string> command = {"/usr/bin/env",    "-u", "DISPLAY",         "-u",
                                        "WAYLAND_DISPLAY", "-u", "QT_QPA_PLATFORM", NVX_DEPOTRIUM_BINARY};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return runProcess(command);
}

TEST_F(EndToEnd, HelpAndTheWindowOnAMachineWithoutADisplay) {
    for (const char* option : {"--help", "-h"}) {
        const auto help = runWithoutDisplay({option});
        EXPECT_EQ(help.status, 0) << help.err;
        EXPECT_EQ(help.out.rfind("Использование: depotrium [РЕЖИМ] [ПАРАМЕТРЫ]\n", 0), 0u) << help.out;
        EXPECT_EQ(help.err, "");
    }

    // No display at all, and a display that is named but cannot be reached:
    // one line and status 1, never an abort. A build without the window says
    // that instead.
    const auto unreachable = runProcess(
        {"/usr/bin/env", "-u", "WAYLAND_DISPLAY", "-u", "QT_QPA_PLATFORM", "DISPLAY=:97", NVX_DEPOTRIUM_BINARY});
    for (const auto& window : {runWithoutDisplay({}), unreachable}) {
        EXPECT_EQ(window.status, 1);
        EXPECT_EQ(window.out, "");
        if (window.err != "Эта сборка собрана без окна: используйте --self-test, --check-core или --upload-check.\n") {
            EXPECT_EQ(window.err,
                      "Нет доступного дисплея: окно открыть нельзя. Без окна работают режимы --self-test, --check-core "
                      "и --upload-check (справка: depotrium --help).\n");
        }
    }
}

// With --output /dev/stdout the report goes down standard output alone, for
// example into jq; its lines go to standard error. The file carries the
// default labels and is complete.
TEST_F(EndToEnd, SelfTestWritesThroughStandardOutputWithTheDefaultLabels) {
    const auto run = runProcess({NVX_DEPOTRIUM_BINARY, "--self-test", "--no-disk", "--output", "/dev/stdout"});
    ASSERT_EQ(run.status, 0) << run.err;
    const RunReport report = RunReport::decode(run.out);
    EXPECT_EQ(report.name, "Локальная проверка приложения");
    EXPECT_EQ(report.owner, "Проверка NVX Depotrium");
    EXPECT_EQ(report.location, "Локальный стенд");
    EXPECT_TRUE(report.completed);
    EXPECT_NE(run.out.find("\"completed\": true"), std::string::npos);
    EXPECT_EQ(report.metrics.size(), 6u);
    EXPECT_NE(run.err.find("Бурко осматривает оборудование\n"), std::string::npos);
    EXPECT_NE(run.err.find("\nREPORT /dev/stdout\nDEVICE " + report.device_id + "\n"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("\ndisk_read: skipped  [skipped]\n"), std::string::npos) << run.err;
}

// A device is written into, never replaced by a file; a full one fails the
// run with status 1.
TEST_F(EndToEnd, SelfTestIntoAFullDeviceFailsAndLeavesTheDevice) {
    const fs::path full = folder_ / "full";
    if (::mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0) GTEST_SKIP() << "device nodes cannot be made here";
    const auto run = runProcess({NVX_DEPOTRIUM_BINARY, "--self-test", "--no-disk", "--output", full.string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "SELF TEST ERROR: Не удалось записать файл «" + full.string() + "»: на диске нет места.\n");
    EXPECT_EQ(run.out.find("REPORT "), std::string::npos);
    EXPECT_TRUE(fs::is_character_file(full));
}

// What is no regular file, or could never make the round trip, is refused
// before any network access (nothing listens on port 9).
TEST_F(EndToEnd, UploadCheckRefusesUnsafeReportFilesBeforeAnyNetwork) {
    const auto check = [](const fs::path& report) {
        // Bounded, so that a check that waits on a FIFO fails instead of hanging.
        return runProcess({"/usr/bin/timeout", "60", NVX_DEPOTRIUM_BINARY, "--upload-check", "--report",
                           report.string(), "--server", "http://127.0.0.1:9"});
    };
    const std::string prefix = "UPLOAD CHECK ERROR: Не удалось прочитать файл «";

    const fs::path fifo = folder_ / "report.fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto run = check(fifo);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, prefix + fifo.string() + "»: это именованный канал, а не файл.\n");

    run = check("/dev/null");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, prefix + "/dev/null»: это устройство, а не файл.\n");

    const fs::path huge = folder_ / "huge.json";
    std::ofstream(huge) << "";
    fs::resize_file(huge, 32 * 1024 * 1024 + 1);
    run = check(huge);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, prefix + huge.string() + "»: файл больше 32 МиБ.\n");

    // Under 1 MiB as a file, over 32 MiB as the body: every element of a deep
    // array takes a line of its own with its indentation.
    nlohmann::json nested = nlohmann::json::array();
    for (int i = 0; i < 400000; ++i) nested.push_back(0);
    for (int depth = 0; depth < 40; ++depth) nested = nlohmann::json{{"a", std::move(nested)}};
    nlohmann::json document = nlohmann::json::parse(sampleReportText);
    document["inventory"] = std::move(nested);
    const fs::path deep = folder_ / "deep.json";
    std::ofstream(deep) << document.dump();
    ASSERT_LT(fs::file_size(deep), 1024u * 1024u);
    run = check(deep);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "UPLOAD CHECK ERROR: Опись в файле «" + deep.string() +
                           "» займёт при отправке больше 32 МиБ: склад не примет её.\n");
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
