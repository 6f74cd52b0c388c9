#include <QClipboard>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <memory>

#include "app/label_text.h"
#include "keyboard.h"
#include "test_case.h"
#include "window_fixture.h"

namespace nvx::testing {

namespace {

// The location field of a completed report, focused, cursor at the end.
// Every keystroke in it stores the draft, which changes the list of places
// under the field: the situation in which typed keys used to get lost.
QQuickItem* focusedLocationField(WindowUnderTest& window) {
    window.model.runToEnd();
    QQuickItem* field = nullptr;
    [&] { QTRY_VERIFY((field = window.item("device-location"))); }();
    if (!field) return nullptr;
    window.scrollTo(field);
    clickItem(window.window, field);
    pressKey(window.window, Qt::Key_End);
    return field->hasActiveFocus() ? field : nullptr;
}

QString text(const QQuickItem* field) {
    return field->property("text").toString();
}
int cursor(const QQuickItem* field) {
    return field->property("cursorPosition").toInt();
}
QString selected(const QQuickItem* field) {
    return field->property("selectedText").toString();
}

}  // namespace

class LocationAutocompleteTests : public WindowTestCase {
    Q_OBJECT

private slots:
    void wholeWordsTypedAtTheEndKeepEveryKeyWhileTheListChanges() {
        WindowUnderTest window;
        QQuickItem* field = focusedLocationField(window);
        QVERIFY(field);
        const std::string id = window->report()->id;
        QSignalSpy listChanges(window.model.model.get(), &DepotriumModel::locationSuggestionsChanged);
        QString typed;
        int storedChanges = 0;
        for (const QChar character : QString("Warehouse Склад Б")) {
            const QString before = typed;
            typed += character;
            typeText(window.window, QString(character));
            QCOMPARE(window->location(), typed);
            QCOMPARE(text(field), typed);
            QCOMPARE(cursor(field), typed.size());
            QCOMPARE(selected(field), QString());
            // The draft follows the key; its trimmed location moves the list.
            QCOMPARE(QString::fromStdString(window.data.readDraft(id).location), trimmedLabel(typed));
            if (trimmedLabel(before) != trimmedLabel(typed)) ++storedChanges;
            QCOMPARE(listChanges.size(), storedChanges);
        }
        QVERIFY(window->locationSuggestions().contains("Warehouse Склад Б"));
    }

    void typingInTheMiddleKeepsTheCursorWhereItIs() {
        WindowUnderTest window;
        QQuickItem* field = focusedLocationField(window);
        QVERIFY(field);
        typeText(window.window, "Hall one");
        pressKey(window.window, Qt::Key_Home);
        for (int i = 0; i < 4; ++i) pressKey(window.window, Qt::Key_Right);
        typeText(window.window, "a");
        QCOMPARE(window->location(), QString("Halla one"));
        QCOMPARE(cursor(field), 5);
        typeText(window.window, "b");
        QCOMPARE(window->location(), QString("Hallab one"));
        QCOMPARE(text(field), QString("Hallab one"));
        QCOMPARE(cursor(field), 6);
        pressKey(window.window, Qt::Key_Delete);
        QCOMPARE(window->location(), QString("Hallabone"));
        QCOMPARE(cursor(field), 6);
        pressKey(window.window, Qt::Key_Backspace);
        QCOMPARE(window->location(), QString("Hallaone"));
        QCOMPARE(cursor(field), 5);
    }

    void completionProposesTheRestAndTypingOnReplacesIt() {
        WindowUnderTest window;
        QQuickItem* field = focusedLocationField(window);
        QVERIFY(field);
        typeText(window.window, "Бе");
        QCOMPARE(text(field), QString("Береговой цех"));
        QCOMPARE(selected(field), QString("реговой цех"));
        QCOMPARE(window->location(), QString("Береговой цех"));
        typeText(window.window, "р");
        QCOMPARE(text(field), QString("Береговой цех"));
        QCOMPARE(selected(field), QString("еговой цех"));
        // Deleting the proposal keeps what was typed, and proposes nothing.
        pressKey(window.window, Qt::Key_Backspace);
        QCOMPARE(text(field), QString("Бер"));
        QCOMPARE(window->location(), QString("Бер"));
        typeText(window.window, "ё");
        QCOMPARE(window->location(), QString("Берё"));
        QCOMPARE(selected(field), QString());
        // Case is never changed to fit a place: "б" proposes nothing.
        pressKey(window.window, Qt::Key_A, Qt::ControlModifier);
        typeText(window.window, "бе");
        QCOMPARE(window->location(), QString("бе"));
    }

    void aSelectionIsReplacedByThePastedText() {
        WindowUnderTest window;
        QQuickItem* field = focusedLocationField(window);
        QVERIFY(field);
        typeText(window.window, "Склад 12");
        pressKey(window.window, Qt::Key_Left, Qt::ShiftModifier);
        pressKey(window.window, Qt::Key_Left, Qt::ShiftModifier);
        QCOMPARE(selected(field), QString("12"));
        QGuiApplication::clipboard()->setText("34, стеллаж 2");
        pressKey(window.window, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(window->location(), QString("Склад 34, стеллаж 2"));
        QCOMPARE(cursor(field), text(field).size());
        // Cut all, then paste it back in the middle of new text.
        pressKey(window.window, Qt::Key_A, Qt::ControlModifier);
        pressKey(window.window, Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(window->location(), QString());
        typeText(window.window, "()");
        pressKey(window.window, Qt::Key_Left);
        pressKey(window.window, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(window->location(), QString("(Склад 34, стеллаж 2)"));
        QCOMPARE(cursor(field), text(field).size() - 1);
    }

    void aPlaceIsPickedWithTheKeyboard() {
        WindowUnderTest window;
        QQuickItem* field = focusedLocationField(window);
        QVERIFY(field);
        const QStringList places = window->locationSuggestions();
        pressKey(window.window, Qt::Key_Down);
        QTRY_VERIFY(field->property("listShown").toBool());
        pressKey(window.window, Qt::Key_Down);
        pressKey(window.window, Qt::Key_Return);
        QCOMPARE(window->location(), places.at(1));
        QCOMPARE(text(field), places.at(1));
        QTRY_VERIFY(!field->property("listShown").toBool());
        QVERIFY(field->hasActiveFocus());
        // Escape closes the list and leaves the text alone.
        pressKey(window.window, Qt::Key_Down);
        QTRY_VERIFY(field->property("listShown").toBool());
        pressKey(window.window, Qt::Key_Escape);
        QTRY_VERIFY(!field->property("listShown").toBool());
        QCOMPARE(window->location(), places.at(1));
    }

    void aPlaceIsPickedWithTheMouse() {
        WindowUnderTest window;
        QQuickItem* field = focusedLocationField(window);
        QVERIFY(field);
        window.clickWithMouse("locationListButton");
        QTRY_VERIFY(field->property("listShown").toBool());
        // The entry of the list, not a text elsewhere in the window.
        const auto entry = [&]() -> QQuickItem* {
            for (QQuickItem* item : window.withText("Квартира на Лесной"))
                if (item->inherits("QQuickItemDelegate")) return item;
            return nullptr;
        };
        QTRY_VERIFY(entry());
        clickItem(window.window, entry());
        QCOMPARE(window->location(), QString("Квартира на Лесной"));
        QCOMPARE(text(field), QString("Квартира на Лесной"));
        QTRY_VERIFY(!field->property("listShown").toBool());
    }

    void aRestoredDraftReplacesTheTextWithoutWritingBack() {
        WindowUnderTest window([](ScratchData& data) {
            data.writeDraft(completedReport("b0000000-0000-4000-8000-000000000002", "2026-03-01T09:15:00Z", "Цех 5"));
        });
        QQuickItem* field = focusedLocationField(window);
        QVERIFY(field);
        // The form kept the label of the draft loaded at launch.
        QCOMPARE(text(field), QString("Цех 5"));
        pressKey(window.window, Qt::Key_A, Qt::ControlModifier);
        typeText(window.window, "Склад");
        QSignalSpy locationChanges(window.model.model.get(), &DepotriumModel::locationChanged);
        const auto& drafts = window->drafts();
        const auto older = std::find_if(drafts.begin(), drafts.end(), [](const RunReport& draft) {
            return draft.id == "b0000000-0000-4000-8000-000000000002";
        });
        QVERIFY(older != drafts.end());
        window->restoreDraft(static_cast<int>(older - drafts.begin()));
        QCOMPARE(window->location(), QString("Цех 5"));
        QCOMPARE(text(field), QString("Цех 5"));
        QCOMPARE(locationChanges.size(), 1);  // the restore, and no echo from the field
        // The report that was in the form kept what was typed.
        QVERIFY(window->locationSuggestions().contains("Склад"));
    }
};

}  // namespace nvx::testing

#include "location_autocomplete_tests.moc"

std::unique_ptr<QObject> makeLocationAutocompleteTests() {
    return std::make_unique<nvx::testing::LocationAutocompleteTests>();
}
