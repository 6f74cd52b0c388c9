#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <sys/types.h>

#include <chrono>
#include <optional>

namespace nvx::testing {

// A program of the test's desktop session (the X server, the session bus,
// the depot, the window), started in a process group of its own with the
// environment given, its output in files. Stopping it ends the whole group,
// so helpers it started (the accessibility bus) go with it: nothing outlives
// the test.
class DesktopProcess {
public:
    // Starts `program` with `arguments`; standard output and error go to
    // `outputStem` + ".out" and ".err".
    DesktopProcess(const QString& program, const QStringList& arguments, const QStringList& environment,
                   const QString& outputStem);
    ~DesktopProcess();
    DesktopProcess(const DesktopProcess&) = delete;
    DesktopProcess& operator=(const DesktopProcess&) = delete;

    bool started() const { return pid_ > 0 || status_.has_value(); }
    // The first capture of `pattern` in the standard output once it
    // appears, or nothing when the time runs out or the program ends first.
    std::optional<QString> waitForOutput(const QString& pattern, std::chrono::milliseconds limit);
    // The exit status once the program has ended by itself within `limit`.
    std::optional<int> waitForExit(std::chrono::milliseconds limit);
    // SIGTERM to the group, SIGKILL after a grace period; returns the exit
    // status (128 + signal when killed).
    int stop();

    QByteArray standardOutput() const;
    QByteArray standardError() const;

private:
    bool reap(bool block);

    pid_t pid_ = -1;
    std::optional<int> status_;
    QString outputStem_;
};

}  // namespace nvx::testing
