// Loading drafts from the data directory: what is loaded, skipped and swept.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <future>

#include <QTest>

#include "app/draft_files.h"
#include "core/report_limits.h"
#include "model_fixture.h"

using namespace nvx;
using namespace nvx::testing;

class DraftFilesTests : public QObject {
    Q_OBJECT

private slots:
    void temporariesOfKilledWritesAreSweptAtLaunch() {
        ScratchData data;
        data.writeDraft(completedReport("r1"));
        data.write(data.pending() / ".r1.json.nvx-AbC123", "{\"id\": ");
        std::filesystem::last_write_time(data.pending() / ".r1.json.nvx-AbC123",
                                         std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
        data.write(data.pending() / ".r2.json.nvx-DeF456", "{");  // a write in progress right now

        const auto drafts = loadDrafts(data.path());
        QCOMPARE(drafts.size(), std::size_t(1));
        QCOMPARE(data.pendingFiles(), QStringList({".r2.json.nvx-DeF456", "r1.json"}));
    }

    // A FIFO would block the launch for ever and a huge file would be read
    // whole; both are skipped like any unreadable draft.
    void draftsThatAreNoRegularFileOrTooLargeAreSkipped() {
        ScratchData data;
        data.writeDraft(completedReport("ok"));
        const auto fifo = data.pending() / "channel.json";
        QCOMPARE(::mkfifo(fifo.c_str(), 0600), 0);
        data.write(data.pending() / "huge.json", "");
        std::filesystem::resize_file(data.pending() / "huge.json", maximumReportBytes + 1);

        auto loading = std::async(std::launch::async, [&] { return loadDrafts(data.path()); });
        if (loading.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            ::close(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK));  // lets a blocked reader go
            QFAIL("loading the drafts waited on a FIFO");
        }
        const auto drafts = loading.get();
        QCOMPARE(drafts.size(), std::size_t(1));
        QCOMPARE(drafts[0].id, std::string("ok"));
    }
};

int runDraftFilesTests(int argc, char** argv) {
    DraftFilesTests tests;
    return QTest::qExec(&tests, argc, argv);
}

#include "draft_files_tests.moc"
