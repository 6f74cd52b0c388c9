#include <QAccessible>
#include <QImage>
#include <QTest>

#include <functional>
#include <memory>

#include "browser_catcher.h"
#include "keyboard.h"
#include "test_case.h"
#include "window_fixture.h"

namespace nvx::testing {

namespace {

QAccessibleInterface* accessible(const QQuickItem* item) {
    return QAccessible::queryAccessibleInterface(const_cast<QQuickItem*>(item));
}

// Whether the item is something a user operates: a button of any kind, a
// text field, a list, a progress display.
bool isControl(const QQuickItem* item) {
    if (item->inherits("QQuickScrollBar")) return false;  // part of the scrolled area
    if (item->activeFocusOnTab()) return true;            // whatever the keyboard reaches
    if (item->inherits("QQuickTextEdit")) return !item->property("readOnly").toBool();
    return item->inherits("QQuickAbstractButton") || item->inherits("QQuickTextInput") ||
           item->inherits("QQuickComboBox") || item->inherits("QQuickProgressBar") ||
           item->inherits("QQuickBusyIndicator");
}

bool hasControlRole(QAccessible::Role role) {
    switch (role) {
        case QAccessible::Button:
        case QAccessible::ButtonMenu:
        case QAccessible::ButtonDropDown:
        case QAccessible::CheckBox:
        case QAccessible::EditableText:
        case QAccessible::Link:
        case QAccessible::ListItem:
        case QAccessible::MenuItem:
        case QAccessible::MenuBar:  // the entry of the menu bar, as Qt announces it
        case QAccessible::PageTab:
        case QAccessible::ProgressBar:
        case QAccessible::Animation:
            return true;
        default:
            return false;
    }
}

// The controls in view that assistive technology could not name, or would
// not know how to operate.
QStringList unnamedControls(const WindowUnderTest& window) {
    QStringList unnamed;
    window.visitAll([&](QQuickItem* item) {
        if (!WindowUnderTest::shown(item) || !isControl(item)) return;
        QAccessibleInterface* node = accessible(item);
        if (!node || node->text(QAccessible::Name).trimmed().isEmpty() || !hasControlRole(node->role())) {
            unnamed << QString("%1 \"%2\" (%3)")
                           .arg(item->metaObject()->className(), item->property("text").toString(), item->objectName());
        }
    });
    return unnamed;
}

// The focused control as a screen reader names it.
QString focusedName(const WindowUnderTest& window) {
    QQuickItem* focused = window.window->activeFocusItem();
    QAccessibleInterface* node = focused ? accessible(focused) : nullptr;
    return node ? node->text(QAccessible::Name) : QString();
}

}  // namespace

class AccessibilityTests : public WindowTestCase {
    Q_OBJECT

private slots:
    void everyControlHasANameAndARole() {
        WindowUnderTest window(
            [](ScratchData& data) { data.writeDraft(completedReport("d0000000-0000-4000-8000-000000000004")); });
        QVERIFY2(unnamedControls(window).isEmpty(), qPrintable(unnamedControls(window).join("; ")));
        window.model.backend->collectGate.close();
        window->start();
        QTRY_VERIFY(window->running());
        QVERIFY2(unnamedControls(window).isEmpty(), qPrintable(unnamedControls(window).join("; ")));
        window.model.backend->collectGate.open();
        QTRY_VERIFY(!window->running());
        window.model.label();
        window->setError("Ошибка для проверки.");
        QVERIFY2(unnamedControls(window).isEmpty(), qPrintable(unnamedControls(window).join("; ")));

        // The roles a screen reader announces.
        const auto role = [&](const char* name) {
            QQuickItem* item = window.item(name);
            return item ? accessible(item)->role() : QAccessible::NoRole;
        };
        QCOMPARE(role("device-name"), QAccessible::EditableText);
        QCOMPARE(role("device-location"), QAccessible::EditableText);
        QCOMPARE(role("device-description"), QAccessible::EditableText);
        QCOMPARE(role("submit"), QAccessible::Button);
        QCOMPARE(role("export"), QAccessible::Button);
        QCOMPARE(role("draftsMenu"), QAccessible::Button);
        QCOMPARE(role("catalogLink"), QAccessible::Link);
        QCOMPARE(role("stage"), QAccessible::StaticText);
        QCOMPARE(role("error"), QAccessible::AlertMessage);
        QCOMPARE(accessible(window.item("device-location"))->text(QAccessible::Name), QString("Локация"));

        window.click("submit");
        QTRY_VERIFY(WindowUnderTest::shown(window.item("openRecord")));
        QCOMPARE(role("openRecord"), QAccessible::Link);
        QCOMPARE(accessible(window.item("openRecord"))->text(QAccessible::Name), QString("Открыть опись на сайте"));
        QVERIFY2(unnamedControls(window).isEmpty(), qPrintable(unnamedControls(window).join("; ")));

        // The list of places, open.
        window.model.runToEnd();
        window.clickWithMouse("locationListButton");
        QTRY_VERIFY(window.item("device-location")->property("listShown").toBool());
        QVERIFY2(unnamedControls(window).isEmpty(), qPrintable(unnamedControls(window).join("; ")));
        pressKey(window.window, Qt::Key_Escape);

        // The inventory with a section open, and the results.
        window->setTab(1);
        QTRY_VERIFY(window.item("sectionToggle"));
        window.clickWithMouse("sectionToggle");
        QVERIFY2(unnamedControls(window).isEmpty(), qPrintable(unnamedControls(window).join("; ")));
        window->setTab(2);
        QVERIFY2(unnamedControls(window).isEmpty(), qPrintable(unnamedControls(window).join("; ")));
    }

    void thePetSaysWhatItIsDoing() {
        WindowUnderTest window;
        QQuickItem* pet = window.item("pet");
        QCOMPARE(accessible(pet)->role(), QAccessible::Graphic);
        QCOMPARE(accessible(pet)->text(QAccessible::Name), QString("Бурко осматривает оборудование"));
        window.model.backend->benchmarkGate.close();
        window->start();
        QTRY_VERIFY(window->measuring());
        QTRY_COMPARE(accessible(pet)->text(QAccessible::Name), QString("Бурко замер на время измерения"));
        window.model.backend->benchmarkGate.open();
        QTRY_VERIFY(!window->running());
        QTRY_COMPARE(accessible(pet)->text(QAccessible::Name), QString("Бурко доволен: опись завершена"));
    }

    void tabWalksTheFormInReadingOrder() {
        WindowUnderTest window(
            [](ScratchData& data) { data.writeDraft(completedReport("d0000000-0000-4000-8000-000000000004")); });
        window.model.runToEnd();
        window.model.label("", "", "");
        // From the first section button, Tab after Tab, once round.
        QQuickItem* first = window.withText("Приёмка").value(0);
        while (first && !first->inherits("QQuickAbstractButton")) first = first->parentItem();
        QVERIFY(first);
        first->forceActiveFocus(Qt::TabFocusReason);
        QStringList order{focusedName(window)};
        for (int i = 0; i < 30; ++i) {
            pressKey(window.window, Qt::Key_Tab);
            const QString name = focusedName(window);
            if (name == order.front()) break;
            order << name;
        }
        const QStringList expected{
            "Приёмка",  "Оборудование", "Испытания", "Локальные описи (2)", "Справочник Apple",    "Название",
            "Владелец", "Локация",      "Описание",  "Сохранить JSON…",     "Сделать новую опись", "Открыть склад"};
        QCOMPARE(order, expected);
        // Backtab walks it the other way.
        pressKey(window.window, Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(focusedName(window), QString("Открыть склад"));
        pressKey(window.window, Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(focusedName(window), QString("Сделать новую опись"));
    }

    void theFormIsFilledAndSentWithTheKeyboardAlone() {
        WindowUnderTest window;
        BrowserCatcher browser;
        // The window opens with its main action focused.
        QTRY_COMPARE(focusedName(window), QString("Начать опись и тест"));
        pressKey(window.window, Qt::Key_Space, Qt::NoModifier, " ");
        QTRY_VERIFY(window->report() && window->report()->completed);
        // The finished run hands the keyboard to the first empty field.
        QTRY_COMPARE(window.window->activeFocusItem()->objectName(), QString("device-name"));
        typeText(window.window, "Монтажная 3");
        pressKey(window.window, Qt::Key_Tab);
        typeText(window.window, "Отдел видео");
        pressKey(window.window, Qt::Key_Tab);
        typeText(window.window, "Склад Б, стеллаж 4");
        pressKey(window.window, Qt::Key_Tab);
        typeText(window.window, "У окна");
        pressKey(window.window, Qt::Key_Tab);
        QCOMPARE(focusedName(window), QString("Принять на склад"));
        // The page scrolls to whatever the keyboard reaches below the fold.
        QTRY_VERIFY(window.inView(window.item("submit")));
        pressKey(window.window, Qt::Key_Space, Qt::NoModifier, " ");
        QTRY_VERIFY(!window->savedURL().isEmpty());
        // Once accepted, the record is the next thing to do.
        QTRY_COMPARE(focusedName(window), QString("Открыть опись на сайте"));
        QTRY_VERIFY(window.inView(window.item("openRecord")));
        pressKey(window.window, Qt::Key_Return);
        QCOMPARE(browser.opened, QList<QUrl>{QUrl(window->savedURL())});

        QCOMPARE(window.model.backend->uploads(), 1);
        const RunReport& sent = window.model.backend->uploaded.front();
        QCOMPARE(QString::fromStdString(sent.name), QString("Монтажная 3"));
        QCOMPARE(QString::fromStdString(sent.owner), QString("Отдел видео"));
        QCOMPARE(QString::fromStdString(sent.location), QString("Склад Б, стеллаж 4"));
        QCOMPARE(QString::fromStdString(sent.description.value_or("")), QString("У окна"));
    }

    void keyboardFocusIsVisible() {
        WindowUnderTest window(
            [](ScratchData& data) { data.writeDraft(completedReport("d0000000-0000-4000-8000-000000000004")); });
        window.model.runToEnd();
        window.model.label();
        const QStringList controls{"draftsMenu",      "catalogLink",        "device-name", "device-owner",
                                   "device-location", "device-description", "submit",      "export",
                                   "newRun",          "openDepot"};
        // A text outside the page: takes the focus, shows none, scrolls nothing.
        QQuickItem* elsewhere = window.item("petCaption");
        for (const QString& name : controls) {
            QQuickItem* control = window.item(name);
            QVERIFY2(control, qPrintable(name));
            window.scrollTo(control);
            elsewhere->forceActiveFocus(Qt::TabFocusReason);
            QTest::qWait(30);
            const QRect area = control->mapRectToScene(control->boundingRect()).toAlignedRect().adjusted(-4, -4, 4, 4);
            const QImage before = window.window->grabWindow().copy(area);
            control->forceActiveFocus(Qt::TabFocusReason);
            QTest::qWait(30);
            const QImage after = window.window->grabWindow().copy(area);
            QVERIFY2(before != after, qPrintable(name + " shows no sign of focus"));
        }
        // The section buttons on the dark sidebar too.
        QQuickItem* section = window.withText("Испытания").value(0);
        while (section && !section->inherits("QQuickAbstractButton")) section = section->parentItem();
        QVERIFY(section);
        const QRect area = section->mapRectToScene(section->boundingRect()).toAlignedRect();
        elsewhere->forceActiveFocus(Qt::TabFocusReason);
        QTest::qWait(30);
        const QImage before = window.window->grabWindow().copy(area);
        section->forceActiveFocus(Qt::TabFocusReason);
        QTest::qWait(30);
        QVERIFY(window.window->grabWindow().copy(area) != before);
    }
};

}  // namespace nvx::testing

#include "accessibility_tests.moc"

std::unique_ptr<QObject> makeAccessibilityTests() {
    return std::make_unique<nvx::testing::AccessibilityTests>();
}
