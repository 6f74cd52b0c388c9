#pragma once

#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>

#include <algorithm>
#include <functional>
#include <memory>

#include "app/model_fixture.h"
#include "keyboard.h"
#include "ui/main_window_source.h"

namespace nvx::testing {

// The main window on the offscreen platform over a model on fake services,
// with helpers that find its items the way a user sees them.
class WindowUnderTest {
public:
    // `prepare` runs on the fresh data folder before the model reads it.
    explicit WindowUnderTest(const std::function<void(ScratchData&)>& prepare = {})
        : owned_([&] {
              if (prepare) prepare(data);
              return std::make_unique<ModelUnderTest>();
          }()),
          model(*owned_) {
        QVariantList sections;
        sections << QVariantMap{{"key", "SPHardwareDataType"}, {"title", "Компьютер"}}
                 << QVariantMap{{"key", "SPDisplaysDataType"}, {"title", "Графика и экраны"}}
                 << QVariantMap{{"key", "SPFibreChannelDataType"}, {"title", "Fibre Channel"}};
        engine.setInitialProperties({{"model", QVariant::fromValue(model.model.get())}, {"sections", sections}});
        loadMainWindow(engine);
        window = engine.rootObjects().isEmpty() ? nullptr : qobject_cast<QQuickWindow*>(engine.rootObjects().first());
        if (window && !QTest::qWaitForWindowExposed(window)) window = nullptr;
    }
    ~WindowUnderTest() {
        // Let a run or a submission that a test left behind end first.
        model.backend->collectGate.open();
        model.backend->benchmarkGate.open();
        model.backend->uploadGate.open();
        if (model->running()) model->cancel();
        QTRY_VERIFY_WITH_TIMEOUT(!model->running() && !model->sending(), 10000);
    }

    DepotriumModel* operator->() const { return model.model.get(); }

    // The first item in the visual tree (popups included) with this object
    // name, visible or not.
    QQuickItem* item(const QString& objectName) const {
        QQuickItem* found = nullptr;
        visit(root(), [&](QQuickItem* item) {
            if (!found && item->objectName() == objectName) found = item;
        });
        return found;
    }

    // Whether the item and all its ancestors are visible.
    static bool shown(const QQuickItem* item) { return item && item->isVisible() && item->opacity() > 0; }

    // Whether the user sees the whole item without scrolling: shown, inside
    // the window and not cut off by a scrolled or clipped area around it.
    bool inView(const QQuickItem* item) const {
        if (!shown(item)) return false;
        const QRectF area = item->mapRectToScene(item->boundingRect()).adjusted(1, 1, -1, -1);
        if (!QRectF(0, 0, window->width(), window->height()).contains(area)) return false;
        for (const QQuickItem* outer = item->parentItem(); outer; outer = outer->parentItem()) {
            if (outer->clip() && !outer->mapRectToScene(outer->boundingRect()).contains(area)) return false;
        }
        return true;
    }

    // Every shown item whose "text" is exactly `text`.
    QList<QQuickItem*> withText(const QString& text) const {
        QList<QQuickItem*> found;
        visit(root(), [&](QQuickItem* item) {
            if (shown(item) && item->property("text").toString() == text) found << item;
        });
        return found;
    }
    bool showsText(const QString& text) const { return !withText(text).isEmpty(); }
    // Shown texts that start with `prefix`.
    QStringList textsStartingWith(const QString& prefix) const {
        QStringList found;
        visit(root(), [&](QQuickItem* item) {
            const QString text = item->property("text").toString();
            if (shown(item) && text.startsWith(prefix)) found << text;
        });
        return found;
    }

    void click(const QString& objectName) const {
        QQuickItem* button = item(objectName);
        QVERIFY2(button, qPrintable(objectName));
        QVERIFY2(button->isEnabled(), qPrintable(objectName + " is disabled"));
        QMetaObject::invokeMethod(button, "clicked");
    }
    // Types into a text field as the user would, one key at a time.
    void type(const QString& objectName, const QString& text) const {
        QQuickItem* field = item(objectName);
        QVERIFY2(field, qPrintable(objectName));
        field->forceActiveFocus();
        typeText(window, text);
    }
    // Clicks the item with the mouse, after scrolling the page to it.
    void clickWithMouse(const QString& objectName) const {
        QQuickItem* target = item(objectName);
        QVERIFY2(target, qPrintable(objectName));
        scrollTo(target);
        QVERIFY2(inView(target), qPrintable(objectName + " is out of view"));
        clickItem(window, target);
    }
    // Scrolls the page so that the item is in view.
    void scrollTo(const QQuickItem* target) const {
        auto* flickable = item("pageScroll")->property("contentItem").value<QQuickItem*>();
        if (!flickable) return;
        const QRectF area = target->mapRectToItem(flickable, target->boundingRect());
        const double top = flickable->property("contentY").toDouble();
        if (area.top() < 0)
            flickable->setProperty("contentY", std::max(0.0, top + area.top() - 8));
        else if (area.bottom() > flickable->height())
            flickable->setProperty("contentY", top + area.bottom() - flickable->height() + 8);
    }
    // Every item of the visual tree, popups included.
    void visitAll(const std::function<void(QQuickItem*)>& action) const { visit(root(), action); }

    ScratchData data;

private:
    std::unique_ptr<ModelUnderTest> owned_;

public:
    ModelUnderTest& model;
    QQmlApplicationEngine engine;
    QQuickWindow* window = nullptr;

private:
    // The window's root item: the content and the overlay of its popups.
    QQuickItem* root() const {
        QQuickItem* content = window->contentItem();
        return content->parentItem() ? content->parentItem() : content;
    }
    static void visit(QQuickItem* item, const std::function<void(QQuickItem*)>& action) {
        action(item);
        for (QQuickItem* child : item->childItems()) visit(child, action);
    }
};

}  // namespace nvx::testing
