#pragma once

#include <QObject>
#include <QRegularExpression>
#include <QTest>

namespace nvx::testing {

// The base of the window test classes: any warning printed while a test
// function runs (a binding loop, a failed import, a type error in a view)
// fails that function. Warnings a test expects are declared with
// QTest::ignoreMessage. The offscreen platform's notes that it cannot raise
// a window or pass size hints to a window manager are about the test
// platform, not the window, and pass.
class WindowTestCase : public QObject {
    Q_OBJECT

private slots:
    void init() {
        QTest::failOnWarning(
            QRegularExpression(QStringLiteral("^(?!This plugin does not support (raise|propagateSizeHints)\\(\\)$)")));
    }
};

}  // namespace nvx::testing
