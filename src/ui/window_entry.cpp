#include "window_entry.h"

#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickStyle>
#include <QtQml/qqmlextensionplugin.h>

#include <cstring>
#include <vector>

#include "app/depotrium_model.h"
#include "ui/dialog_texts.h"
#include "ui/inventory_sections.h"
#include "ui/main_window_source.h"

// The QML module lives in a static library: pull its plugin in.
Q_IMPORT_QML_PLUGIN(DepotriumPlugin)

namespace nvx {

namespace {

// Qt finds the desktop's own file dialog through its platform theme. The
// portal theme reaches the desktop portal's dialog (GNOME, KDE, sandboxes
// alike), leaves everything else to the desktop's usual theme and falls back
// to Qt's own dialog where no portal runs. A theme the user chose, through
// QT_QPA_PLATFORMTHEME or -platformtheme, is kept.
std::vector<char*> argumentsWithPortalTheme(int argc, char** argv) {
    std::vector<char*> arguments(argv, argv + argc);
    bool chosen = qEnvironmentVariableIsSet("QT_QPA_PLATFORMTHEME");
    for (int i = 1; i < argc; ++i) chosen = chosen || std::strcmp(argv[i], "-platformtheme") == 0;
    if (!chosen) {
        static char option[] = "-platformtheme";
        static char theme[] = "xdgdesktopportal";
        arguments.push_back(option);
        arguments.push_back(theme);
    }
    arguments.push_back(nullptr);
    return arguments;
}

}  // namespace

int runDepotriumWindow(int argc, char** argv) {
    // QGuiApplication keeps the count and the vector: both live until it ends.
    std::vector<char*> arguments = argumentsWithPortalTheme(argc, argv);
    int count = static_cast<int>(arguments.size()) - 1;
    QGuiApplication application(count, arguments.data());
    QGuiApplication::setApplicationName(QStringLiteral("NVX Depotrium"));
    QGuiApplication::setApplicationDisplayName(QStringLiteral("NVX Depotrium"));
    // The desktop matches the window to its menu entry (icon, name) by this
    // name: Wayland's application id, X11's startup notification.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.nvx.Depotrium"));
    installRussianTexts();
    // A desktop-like style whose colours follow the palette the window sets.
    QQuickStyle::setStyle(QStringLiteral("Fusion"));

    DepotriumModel model;  // the one model; lives until the process ends
    QQmlApplicationEngine engine;
    engine.setInitialProperties({{QStringLiteral("model"), QVariant::fromValue(&model)},
                                 {QStringLiteral("sections"), inventorySectionsForQml()}});
    QObject::connect(
        &engine, &QQmlApplicationEngine::objectCreationFailed, &application, [] { QCoreApplication::exit(1); },
        Qt::QueuedConnection);
    loadMainWindow(engine);
    if (engine.rootObjects().isEmpty()) return 1;
    return QGuiApplication::exec();
}

}  // namespace nvx
