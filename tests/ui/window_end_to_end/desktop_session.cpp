#include "desktop_session.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <chrono>

namespace nvx::testing {

using namespace std::chrono_literals;

namespace {

bool writeExecutable(const QString& path, const QByteArray& script) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.write(script);
    file.close();
    return file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

}  // namespace

DesktopSession::DesktopSession() : folder_(QDir::tempPath() + "/nvx-window-desktop-XXXXXX") {
    for (const char* tool : {"Xvfb", "dbus-daemon", "xdotool", "setxkbmap"}) {
        if (QStandardPaths::findExecutable(tool).isEmpty()) {
            failure_ = QString("%1 is not installed: run scripts/bootstrap").arg(tool);
            return;
        }
    }
    const QDir root(folder_.path());
    for (const char* sub : {"home", "config", "data", "cache", "runtime", "bin", "logs"}) root.mkpath(sub);
    QFile::setPermissions(path("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // The desktop's opener: records what it was asked to open.
    if (!writeExecutable(path("bin/xdg-open"),
                         "#!/bin/sh\nprintf '%s\\n' \"$*\" >> \"" + QFile::encodeName(path("opened.txt")) + "\"\n")) {
        failure_ = "cannot write the opener";
        return;
    }

    // The X server picks a free display and says which.
    xServer_ = std::make_unique<DesktopProcess>(
        "Xvfb", QStringList{"-displayfd", "1", "-screen", "0", "1280x1000x24", "-nolisten", "tcp", "-noreset"},
        QStringList{"PATH=" + qEnvironmentVariable("PATH")}, path("logs/xvfb"));
    const auto number = xServer_->waitForOutput(R"(^(\d+)\s)", 20s);
    if (!number) {
        failure_ = "Xvfb did not start: " + QString::fromUtf8(xServer_->standardError());
        return;
    }
    display_ = ":" + *number;

    // A Russian keyboard, as the labels are typed in Russian: xdotool then
    // finds every letter on a key of its own and never has to remap one.
    DesktopProcess keyboard("setxkbmap", {"-display", display_, "-layout", "ru"}, environment(),
                            path("logs/setxkbmap"));
    if (keyboard.waitForExit(20s) != std::optional<int>(0)) {
        failure_ = "setxkbmap failed: " + QString::fromUtf8(keyboard.standardError());
        return;
    }

    sessionBus_ = std::make_unique<DesktopProcess>(
        "dbus-daemon",
        QStringList{"--session", "--nofork", "--print-address=1", "--address=unix:dir=" + path("runtime")},
        environment(), path("logs/session-bus"));
    const auto address = sessionBus_->waitForOutput(R"(^(unix:\S+))", 20s);
    if (!address) {
        failure_ = "the session bus did not start: " + QString::fromUtf8(sessionBus_->standardError());
        return;
    }
    busAddress_ = *address;
}

DesktopSession::~DesktopSession() {
    sessionBus_.reset();
    xServer_.reset();
}

QStringList DesktopSession::environment() const {
    QStringList environment{
        "PATH=" + path("bin") + ":" + qEnvironmentVariable("PATH"),
        "HOME=" + path("home"),
        "LANG=C.UTF-8",
        "XDG_CONFIG_HOME=" + path("config"),
        "XDG_DATA_HOME=" + path("home/.local/share"),
        "XDG_CACHE_HOME=" + path("cache"),
        "XDG_RUNTIME_DIR=" + path("runtime"),
    };
    // A sanitizer build's programs get the options the test run was given.
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
        if (qEnvironmentVariableIsSet(name)) environment << QString(name) + "=" + qEnvironmentVariable(name);
    if (!display_.isEmpty()) environment << "DISPLAY=" + display_;
    if (!busAddress_.isEmpty()) environment << "DBUS_SESSION_BUS_ADDRESS=" + busAddress_;
    return environment;
}

QStringList DesktopSession::openedAddresses() const {
    QFile file(path("opened.txt"));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
}

}  // namespace nvx::testing
