// Crash safety of the local drafts.
//
// A child process runs the real model on instant fake services and rewrites
// its draft in a loop: each edit changes the label, calls persist() and, once
// persist() has returned without an error, reports "<id> <edit number>" on a
// pipe. The parent kills the child with SIGKILL at a random moment, many
// times over, and after every kill checks every draft file it has not yet
// seen in this form: it must decode, and the draft of every reported edit
// must hold that edit or a later one.
//
//   perf_drafts_crash [kills]        (default 200)

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>

#include "app/depotrium_model.h"
#include "core/errors.h"
#include "core/files.h"
#include "core/random_id.h"

extern char** environ;

namespace {

using namespace nvx;
namespace fs = std::filesystem;

constexpr int acknowledgementFd = 3;
constexpr int editsPerReport = 25;
const QString editPrefix = QStringLiteral("правка ");

// --- the child: edits drafts until it is killed ------------------------------

RunReport collectedReport() {
    // Timestamps must grow from one report to the next, so the newest draft
    // loaded at start-up is the one edited last.
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    RunReport report;
    report.id = randomUUID();
    report.device_id = randomUUID();
    report.created_at = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toStdString();
    report.system.model = "Mac14,7";
    report.system.os = "macOS 14.4";
    JSONValue::Array items;
    for (int i = 0; i < 400; ++i)
        items.emplace_back(JSONValue::Object{{"_name", JSONValue("устройство " + std::to_string(i))},
                                             {"bytes", JSONValue(1000.0 * i)}});
    report.inventory = JSONValue(JSONValue::Object{{"SPHardwareDataType", JSONValue(std::move(items))}});
    return report;
}

DepotriumServices instantServices() {
    DepotriumServices services;
    services.collect = [](const StopToken&, const std::function<void(const std::string&)>&) {
        return collectedReport();
    };
    services.runBenchmarks = [](const StopToken&, bool, const std::function<void(const std::string&, double)>&) {
        Metric metric;
        metric.id = "cpu_single";
        metric.title = "Процессор";
        metric.value = 400.0;
        metric.status = "ok";
        return std::vector<Metric>{metric};
    };
    services.upload = [](const RunReport&, const std::string&) -> std::string {
        throw DepotriumError("Отправка в этой проверке не нужна.");
    };
    return services;
}

void runToEnd(DepotriumModel& model) {
    QEventLoop loop;
    QObject::connect(&model, &DepotriumModel::runningChanged, &loop, [&] {
        if (!model.running()) loop.quit();
    });
    model.start();
    if (model.running()) loop.exec();
}

int runChild() {
    int argc = 1;
    char name[] = "perf_drafts_crash";
    char* argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);
    DepotriumModel model(instantServices());

    // Continue the count where the last acknowledged (or later) edit left it.
    long edit = 0;
    if (model.name().startsWith(editPrefix)) edit = model.name().mid(editPrefix.size()).toLong();
    int editsOnThisReport = model.report() ? editsPerReport / 2 : editsPerReport;
    for (;;) {
        if (editsOnThisReport >= editsPerReport) {
            runToEnd(model);
            if (!model.report() || !model.report()->completed) {
                std::fprintf(stderr, "child: run did not complete: %s\n", qPrintable(model.stage()));
                return 2;
            }
            editsOnThisReport = 0;
        }
        ++edit;
        ++editsOnThisReport;
        model.setName(editPrefix + QString::number(edit));
        model.setDescriptionText(QString(static_cast<int>(edit % 97), QChar(u'ж')));
        model.persist();
        if (!model.error().isEmpty()) {
            std::fprintf(stderr, "child: %s\n", qPrintable(model.error()));
            return 2;
        }
        const std::string line = model.report()->id + " " + std::to_string(edit) + "\n";
        if (::write(acknowledgementFd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) return 3;
    }
}

// --- the parent: kills and checks ---------------------------------------------

struct FileStamp {
    std::uintmax_t size = 0;
    fs::file_time_type written;
    bool operator==(const FileStamp&) const = default;
};

struct Tally {
    int corruptFiles = 0;
    int lostEdits = 0;
    long acknowledgedEdits = 0;
    int failedChildren = 0;
};

long editOf(const RunReport& report) {
    const std::string prefix = editPrefix.toStdString();
    if (report.name.rfind(prefix, 0) != 0) return -1;
    return std::strtol(report.name.c_str() + prefix.size(), nullptr, 10);
}

pid_t spawnChild(const std::string& self, const fs::path& dataDirectory, int writeEnd) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, writeEnd, acknowledgementFd);
    std::vector<std::string> environment;
    for (char** entry = environ; *entry; ++entry)
        if (std::strncmp(*entry, "NVX_DATA_DIR=", 13) != 0) environment.emplace_back(*entry);
    environment.push_back("NVX_DATA_DIR=" + dataDirectory.string());
    std::vector<char*> envp;
    for (auto& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::string childFlag = "--child";
    std::string program = self;
    char* argv[] = {program.data(), childFlag.data(), nullptr};
    pid_t pid = -1;
    const int failure = posix_spawn(&pid, self.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return failure == 0 ? pid : -1;
}

// Appends whatever the child has reported so far to `pending`, and moves
// complete lines into `acknowledged`.
void drain(int readEnd, std::string& pending, std::map<std::string, long>& acknowledged, Tally& tally) {
    char buffer[4096];
    for (;;) {
        const ssize_t count = ::read(readEnd, buffer, sizeof buffer);
        if (count <= 0) break;
        pending.append(buffer, static_cast<std::size_t>(count));
    }
    std::size_t end;
    while ((end = pending.find('\n')) != std::string::npos) {
        const std::string line = pending.substr(0, end);
        pending.erase(0, end + 1);
        const auto space = line.find(' ');
        if (space == std::string::npos) continue;
        acknowledged[line.substr(0, space)] = std::strtol(line.c_str() + space + 1, nullptr, 10);
        ++tally.acknowledgedEdits;
    }
}

void checkDrafts(const fs::path& pendingFolder, const std::map<std::string, long>& acknowledged,
                 std::map<fs::path, FileStamp>& checked, Tally& tally) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(pendingFolder, error)) {
        if (entry.path().extension() != ".json") continue;
        const FileStamp stamp{entry.file_size(), entry.last_write_time()};
        if (auto known = checked.find(entry.path()); known != checked.end() && known->second == stamp) continue;
        checked[entry.path()] = stamp;
        try {
            RunReport::decode(readWholeFile(entry.path()));
        } catch (const std::exception& failure) {
            ++tally.corruptFiles;
            std::fprintf(stderr, "corrupt: %s: %s\n", entry.path().c_str(), failure.what());
        }
    }
    for (const auto& [id, edit] : acknowledged) {
        try {
            const long stored = editOf(RunReport::decode(readWholeFile(pendingFolder / (id + ".json"))));
            if (stored >= edit) continue;
            std::fprintf(stderr, "lost: %s holds edit %ld, %ld was acknowledged\n", id.c_str(), stored, edit);
        } catch (const std::exception& failure) {
            std::fprintf(stderr, "lost: %s: %s\n", id.c_str(), failure.what());
        }
        ++tally.lostEdits;
    }
}

int runParent(int kills) {
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    std::string pattern = (fs::temp_directory_path() / "nvx-drafts-crash-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path dataDirectory(pattern);
    const fs::path pendingFolder = dataDirectory / "pending";

    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<int> lifetimeMs(10, 250);
    std::map<std::string, long> acknowledged;
    std::map<fs::path, FileStamp> checked;
    Tally tally;
    const auto began = std::chrono::steady_clock::now();

    for (int round = 0; round < kills; ++round) {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0) {
            std::perror("pipe2");
            break;
        }
        const pid_t child = spawnChild(self, dataDirectory, ends[1]);
        ::close(ends[1]);
        if (child < 0) {
            ::close(ends[0]);
            std::fprintf(stderr, "could not start the child\n");
            break;
        }
        ::fcntl(ends[0], F_SETFL, O_NONBLOCK);
        std::string pending;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(lifetimeMs(random));
        for (auto now = std::chrono::steady_clock::now(); now < deadline; now = std::chrono::steady_clock::now()) {
            pollfd readable{ends[0], POLLIN, 0};
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
            ::poll(&readable, 1, static_cast<int>(left) + 1);
            drain(ends[0], pending, acknowledged, tally);
        }
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        if (!(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)) ++tally.failedChildren;
        drain(ends[0], pending, acknowledged, tally);
        ::close(ends[0]);
        checkDrafts(pendingFolder, acknowledged, checked, tally);
    }

    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    int draftFiles = 0, leftovers = 0;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(pendingFolder, error))
        (entry.path().extension() == ".json" ? draftFiles : leftovers)++;
    std::printf("kills: %d\n", kills);
    std::printf("acknowledged edits: %ld\n", tally.acknowledgedEdits);
    std::printf("draft files: %d\n", draftFiles);
    std::printf("unfinished temporary files left by kills: %d\n", leftovers);
    std::printf("children that ended on their own: %d\n", tally.failedChildren);
    std::printf("lost acknowledged edits: %d\n", tally.lostEdits);
    std::printf("corrupt files: %d\n", tally.corruptFiles);
    std::printf("seconds: %.1f\n", seconds);
    fs::remove_all(dataDirectory, error);
    return tally.corruptFiles == 0 && tally.lostEdits == 0 && tally.failedChildren == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "--child") == 0) return runChild();
    const int kills = argc >= 2 ? std::atoi(argv[1]) : 200;
    return runParent(kills > 0 ? kills : 200);
}

// This program links the model without the machine's real services; its
// default constructor gets the instant fakes.
nvx::DepotriumModel::DepotriumModel(QObject* parent) : DepotriumModel(instantServices(), parent) {}
