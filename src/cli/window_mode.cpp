#include <cstdio>
#include <cstdlib>

#include "cli/display_check.h"
#include "cli/modes.h"

#if NVX_HAS_WINDOW
#include <QString>
#include <QtGlobal>

#include "ui/window_entry.h"
#endif

namespace nvx {

namespace {

void printNoDisplay() {
    std::fprintf(stderr, "%s\n", noDisplayMessage);
    std::fflush(stderr);
}

#if NVX_HAS_WINDOW
QtMessageHandler previousHandler = nullptr;
bool displayUnreachable = false;

// Qt ends the process with abort() (and a core dump) when no platform plugin
// starts; that becomes one Russian line and status 1 instead. Qt's own
// warnings about an unreachable display are replaced by that line.
void onQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    const QString category = QString::fromUtf8(context.category ? context.category : "");
    if (type == QtWarningMsg && category == QStringLiteral("qt.qpa.xcb") &&
        message.contains(QStringLiteral("could not connect to display"))) {
        displayUnreachable = true;
        return;
    }
    // The plugin failed to load because of that display: said by our line too.
    if (displayUnreachable && category == QStringLiteral("qt.qpa.plugin")) return;
    if (type == QtFatalMsg && message.contains(QStringLiteral("platform plugin"))) {
        std::fflush(stdout);
        if (displayUnreachable) {
            printNoDisplay();
        } else {
            std::fprintf(stderr,
                         "Окно не открылось: графическая система Qt не запустилась. Без окна работают режимы "
                         "--self-test, --check-core и --upload-check.\n");
        }
        std::fflush(stderr);
        std::_Exit(1);
    }
    if (previousHandler) {
        previousHandler(type, context, message);
    } else {
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
    }
}
#endif

}  // namespace

int runWindow(int argc, char** argv) {
    if (!displayMayBeAvailable([](const char* name) { return std::getenv(name); })) {
        printNoDisplay();
        return 1;
    }
#if NVX_HAS_WINDOW
    previousHandler = qInstallMessageHandler(onQtMessage);
    return runDepotriumWindow(argc, argv);
#else
    (void)argc;
    (void)argv;
    std::fprintf(stderr, "Эта сборка собрана без окна: используйте --self-test, --check-core или --upload-check.\n");
    return 1;
#endif
}

}  // namespace nvx
