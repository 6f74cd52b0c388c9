#include "main_window_source.h"

#include <QQmlApplicationEngine>
#include <QUrl>
#include <QtGlobal>

namespace nvx {

void loadMainWindow(QQmlApplicationEngine& engine) {
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
    engine.loadFromModule("Depotrium", "Main");
#else
    engine.addImportPath(QStringLiteral("qrc:/qt/qml"));
    engine.load(QUrl(QStringLiteral("qrc:/qt/qml/Depotrium/Main.qml")));
#endif
}

}  // namespace nvx
