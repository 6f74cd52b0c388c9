#pragma once

#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>

#include <functional>
#include <memory>

namespace nvx::testing {

// One component of the module, made from a QML snippet and shown in an
// offscreen window of its own.
class QmlSnippet {
public:
    explicit QmlSnippet(const QByteArray& body) {
        engine.addImportPath("qrc:/qt/qml");
        QQmlComponent component(&engine);
        component.setData("import QtQuick\nimport Depotrium\n" + body, QUrl("qrc:/snippet.qml"));
        object.reset(qobject_cast<QQuickItem*>(component.create()));
        if (!object) qWarning() << component.errorString();
        if (object) {
            object->setParentItem(window.contentItem());
            object->setWidth(700);
        }
        window.resize(720, 600);
        window.show();
    }
    ~QmlSnippet() { object.reset(); }

    QQuickItem* root() const { return object.get(); }

    // The "text" of every visible item, in tree order.
    QStringList texts() const {
        QStringList found;
        visit(object.get(), [&](QQuickItem* item) {
            const QVariant text = item->property("text");
            if (item->isVisible() && text.isValid() && !text.toString().isEmpty()) found << text.toString();
        });
        return found;
    }

    QQmlEngine engine;
    QQuickWindow window;

private:
    static void visit(QQuickItem* item, const std::function<void(QQuickItem*)>& action) {
        if (!item) return;
        action(item);
        for (QQuickItem* child : item->childItems()) visit(child, action);
    }
    std::unique_ptr<QQuickItem> object;
};

}  // namespace nvx::testing
