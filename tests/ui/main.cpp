// Runs every window test class in one binary on the offscreen platform.

#include <QAccessible>
#include <QGuiApplication>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>
#include <QQuickStyle>

#include <memory>
#include <vector>

#include "ui/dialog_texts.h"

Q_IMPORT_QML_PLUGIN(DepotriumPlugin)

#define NVX_DECLARE_TESTS(Class) std::unique_ptr<QObject> make##Class();
#include "test_classes.h"
#undef NVX_DECLARE_TESTS

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The desktop's animation setting of whoever runs the tests must not
    // reach the pet: point the configuration folder at an empty one.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    QGuiApplication application(argc, argv);
    QQuickStyle::setStyle("Fusion");
    nvx::installRussianTexts();
    // As when a screen reader runs: controls publish their roles and names.
    QAccessible::setActive(true);

    std::vector<std::unique_ptr<QObject>> tests;
#define NVX_DECLARE_TESTS(Class) tests.push_back(make##Class());
#include "test_classes.h"
#undef NVX_DECLARE_TESTS

    // NVX_TEST_CLASS=<part of a class name> runs only the matching classes,
    // so that a test function can be named on the command line.
    const QString only = qEnvironmentVariable("NVX_TEST_CLASS");
    int failures = 0;
    for (const auto& test : tests) {
        if (!only.isEmpty() && !QString::fromLatin1(test->metaObject()->className()).contains(only)) continue;
        failures += QTest::qExec(test.get(), argc, argv);
    }
    return failures == 0 ? 0 : 1;
}
