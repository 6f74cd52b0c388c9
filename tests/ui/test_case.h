#pragma once

#include <QObject>
#include <QRegularExpression>
#include <QTest>

namespace nvx::testing {

// The base of the window test classes: any warning printed while a test
// function runs (a binding loop, a failed import, a type error in a view)
// fails that function. Warnings a test expects are declared with
// QTest::ignoreMessage.
class WindowTestCase : public QObject {
    Q_OBJECT

private slots:
    void init() { QTest::failOnWarning(QRegularExpression(QStringLiteral(".*"))); }
};

}  // namespace nvx::testing
