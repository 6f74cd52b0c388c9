#include "desktop_process.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QThread>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace nvx::testing {

namespace {

using Clock = std::chrono::steady_clock;

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Waits in short slices that keep the test's own event loop turning.
void pause() {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(20);
}

}  // namespace

DesktopProcess::DesktopProcess(const QString& program, const QStringList& arguments, const QStringList& environment,
                               const QString& outputStem)
    : outputStem_(outputStem) {
    std::vector<QByteArray> argumentBytes{QFile::encodeName(program)};
    for (const QString& argument : arguments) argumentBytes.push_back(argument.toUtf8());
    std::vector<QByteArray> environmentBytes;
    for (const QString& entry : environment) environmentBytes.push_back(entry.toUtf8());
    std::vector<char*> argv, envp;
    for (QByteArray& bytes : argumentBytes) argv.push_back(bytes.data());
    argv.push_back(nullptr);
    for (QByteArray& bytes : environmentBytes) envp.push_back(bytes.data());
    envp.push_back(nullptr);

    const QByteArray out = QFile::encodeName(outputStem + ".out");
    const QByteArray err = QFile::encodeName(outputStem + ".err");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // A group of its own: stop() reaches everything it starts.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    if (::posix_spawnp(&pid_, argv[0], &actions, &attributes, argv.data(), envp.data()) != 0) pid_ = -1;
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
}

DesktopProcess::~DesktopProcess() {
    stop();
}

bool DesktopProcess::reap(bool block) {
    if (pid_ <= 0) return true;
    int status = 0;
    pid_t done;
    do {
        done = ::waitpid(pid_, &status, block ? 0 : WNOHANG);
    } while (done < 0 && errno == EINTR);
    if (done == 0) return false;
    status_ = done < 0 ? -1 : WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return true;
}

std::optional<QString> DesktopProcess::waitForOutput(const QString& pattern, std::chrono::milliseconds limit) {
    const QRegularExpression expression(pattern);
    const auto deadline = Clock::now() + limit;
    while (Clock::now() < deadline) {
        const auto found = expression.match(QString::fromUtf8(standardOutput()));
        if (found.hasMatch()) return found.lastCapturedIndex() >= 1 ? found.captured(1) : found.captured(0);
        if (pid_ <= 0) return std::nullopt;
        pause();
    }
    return std::nullopt;
}

std::optional<int> DesktopProcess::waitForExit(std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (Clock::now() < deadline) {
        if (reap(false)) {
            const pid_t group = pid_;
            pid_ = -1;
            if (group > 0) ::kill(-group, SIGKILL);  // helpers it left behind
            return status_;
        }
        pause();
    }
    return std::nullopt;
}

int DesktopProcess::stop() {
    if (pid_ > 0) {
        const pid_t group = pid_;
        ::kill(-group, SIGTERM);
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        while (!reap(false) && Clock::now() < deadline) QThread::msleep(20);
        ::kill(-group, SIGKILL);
        if (pid_ > 0 && !status_) reap(true);
        pid_ = -1;
    }
    return status_.value_or(-1);
}

QByteArray DesktopProcess::standardOutput() const {
    return readFile(outputStem_ + ".out");
}
QByteArray DesktopProcess::standardError() const {
    return readFile(outputStem_ + ".err");
}

}  // namespace nvx::testing
