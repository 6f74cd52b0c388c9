#include <QQuickWindow>
#include <QTest>

#include <memory>

#include "browser_catcher.h"
#include "keyboard.h"
#include "qml_snippet.h"
#include "test_case.h"
#include "ui/depotrium_palette.h"
#include "window_fixture.h"

namespace nvx::testing {

namespace {

// The settings window of the main window, opened as the user does: the
// application menu's shortcut, Ctrl+comma.
QQuickWindow* openSettings(const WindowUnderTest& window) {
    pressKey(window.window, Qt::Key_Comma, Qt::ControlModifier, ",");
    for (auto* settings : window.window->findChildren<QQuickWindow*>()) {
        if (settings->title() == "Настройки" && QTest::qWaitForWindowExposed(settings)) return settings;
    }
    return nullptr;
}

QQuickItem* find(QQuickItem* item, const QString& objectName) {
    if (item->objectName() == objectName) return item;
    for (QQuickItem* child : item->childItems())
        if (QQuickItem* found = find(child, objectName)) return found;
    return nullptr;
}

// Compares a colour with its sRGB components as the palette gives them.
void expectColour(const QColor& colour, double red, double green, double blue) {
    QCOMPARE(colour.spec(), QColor::Rgb);
    QVERIFY(qAbs(colour.redF() - red) < 1e-4);
    QVERIFY(qAbs(colour.greenF() - green) < 1e-4);
    QVERIFY(qAbs(colour.blueF() - blue) < 1e-4);
    QCOMPARE(colour.alphaF(), 1.0f);
}

}  // namespace

class SettingsTests : public WindowTestCase {
    Q_OBJECT

private slots:
    void anAddressEditedDuringASubmissionLeavesThatSubmissionAlone() {
        WindowUnderTest window;
        window->setServer("https://depot.example.com");
        window.model.runToEnd();
        window.model.label();
        window.model.backend->uploadGate.close();
        window.click("submit");
        QTRY_VERIFY(window->sending());

        QQuickWindow* settings = openSettings(window);
        QVERIFY(settings);
        QQuickItem* field = find(settings->contentItem(), "server");
        QVERIFY(field);
        clickItem(settings, field);
        pressKey(settings, Qt::Key_A, Qt::ControlModifier);
        typeText(settings, "https://other.example.com");
        QCOMPARE(window->server(), QString("https://other.example.com"));

        window.model.backend->uploadGate.open();
        QTRY_VERIFY(!window->sending());
        QCOMPARE(window.model.backend->servers, std::vector<std::string>{"https://depot.example.com"});
        QVERIFY(!window->savedURL().isEmpty());
    }

    void bothWindowsShowTheSameModel() {
        WindowUnderTest window;
        BrowserCatcher browser;
        QQuickWindow* settings = openSettings(window);
        QVERIFY(settings);
        QQuickItem* field = find(settings->contentItem(), "server");
        // A change in the settings reaches the main window's footer...
        clickItem(settings, field);
        pressKey(settings, Qt::Key_A, Qt::ControlModifier);
        typeText(settings, "https://depot.example.org/");
        window.click("openDepot");
        QCOMPARE(browser.opened, QList<QUrl>{QUrl("https://depot.example.org/")});
        // ...and one made elsewhere is shown in the settings.
        window->setServer("http://127.0.0.1:8916");
        QCOMPARE(field->property("text").toString(), QString("http://127.0.0.1:8916"));
        QVERIFY(settings->contentItem()->childItems().size() > 0);
        const QString captions = [&] {
            QString all;
            std::function<void(QQuickItem*)> collect = [&](QQuickItem* item) {
                all += item->property("text").toString() + "\n";
                for (QQuickItem* child : item->childItems()) collect(child);
            };
            collect(settings->contentItem());
            return all;
        }();
        QVERIFY(captions.contains("Рабочий адрес: " + DepotriumModel::defaultServer));
        QVERIFY(captions.contains("Для локальной проверки: http://127.0.0.1:8916"));
        QVERIFY(captions.contains(
            "Приложение отправляет только собранную опись и результаты после нажатия «Принять на склад»."));
    }

    void thePaletteHasItsFiveColours() {
        expectColour(DepotriumPalette::paper(), 0.96, 0.94, 0.88);
        expectColour(DepotriumPalette::ink(), 0.18, 0.20, 0.18);
        expectColour(DepotriumPalette::muted(), 0.37, 0.38, 0.33);
        expectColour(DepotriumPalette::metal(), 0.16, 0.19, 0.18);
        expectColour(DepotriumPalette::rust(), 0.58, 0.23, 0.10);
        // QML sees the same values.
        QmlSnippet snippet(R"(Item {
            property color paper: DepotriumPalette.paper
            property color ink: DepotriumPalette.ink
            property color muted: DepotriumPalette.muted
            property color metal: DepotriumPalette.metal
            property color rust: DepotriumPalette.rust
        })");
        QVERIFY(snippet.root());
        for (const char* name : {"paper", "ink", "muted", "metal", "rust"}) {
            const QColor fromQml = snippet.root()->property(name).value<QColor>();
            const QColor fromCpp = QString(name) == "paper"   ? DepotriumPalette::paper()
                                   : QString(name) == "ink"   ? DepotriumPalette::ink()
                                   : QString(name) == "muted" ? DepotriumPalette::muted()
                                   : QString(name) == "metal" ? DepotriumPalette::metal()
                                                              : DepotriumPalette::rust();
            QCOMPARE(fromQml.rgba(), fromCpp.rgba());
        }
    }
};

}  // namespace nvx::testing

#include "settings_tests.moc"

std::unique_ptr<QObject> makeSettingsTests() {
    return std::make_unique<nvx::testing::SettingsTests>();
}
