#include "window_entry.h"

#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickStyle>
#include <QtQml/qqmlextensionplugin.h>

#include "app/depotrium_model.h"
#include "ui/inventory_sections.h"
#include "ui/main_window_source.h"

// The QML module lives in a static library: pull its plugin in.
Q_IMPORT_QML_PLUGIN(DepotriumPlugin)

namespace nvx {

int runDepotriumWindow(int argc, char** argv) {
    QGuiApplication application(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("NVX Depotrium"));
    QGuiApplication::setApplicationDisplayName(QStringLiteral("NVX Depotrium"));
    // A desktop-like style whose colours follow the palette the window sets.
    QQuickStyle::setStyle(QStringLiteral("Fusion"));

    DepotriumModel model;  // the one model; lives until the process ends
    QQmlApplicationEngine engine;
    engine.setInitialProperties({{QStringLiteral("model"), QVariant::fromValue(&model)},
                                 {QStringLiteral("sections"), inventorySectionsForQml()}});
    QObject::connect(
        &engine, &QQmlApplicationEngine::objectCreationFailed, &application,
        [] { QCoreApplication::exit(1); }, Qt::QueuedConnection);
    loadMainWindow(engine);
    if (engine.rootObjects().isEmpty()) return 1;
    return QGuiApplication::exec();
}

}  // namespace nvx
