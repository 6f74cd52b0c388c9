#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

#include "desktop_process.h"

namespace nvx::testing {

// A private desktop for one test run: an X server on a free display with a
// Russian keyboard, a session bus (where the accessibility bus starts on
// demand), and a scratch
// folder for everything the programs write: home, configuration, runtime
// files, the data folder. A recorder stands in for the desktop's opener
// of web addresses. Ends everything it started when destroyed.
class DesktopSession {
public:
    DesktopSession();
    ~DesktopSession();

    // Empty when the session is up, else why not.
    QString failure() const { return failure_; }
    // ":N", the X display of the session.
    QString display() const { return display_; }
    QString busAddress() const { return busAddress_; }
    // A path inside the scratch folder.
    QString path(const QString& relative) const { return folder_.filePath(relative); }
    // The environment of a program run on this desktop.
    QStringList environment() const;
    // The addresses the desktop was asked to open, in order.
    QStringList openedAddresses() const;

private:
    QTemporaryDir folder_;
    QString failure_;
    QString display_;
    QString busAddress_;
    std::unique_ptr<DesktopProcess> xServer_;
    std::unique_ptr<DesktopProcess> sessionBus_;
};

}  // namespace nvx::testing
