#include <QSignalSpy>
#include <QTest>

#include <memory>

#include "keyboard.h"
#include "qml_snippet.h"

namespace nvx::testing {

namespace {
const QByteArray field = R"(LocationAutocomplete {
    text: ""
    suggestions: ["Береговой цех", "Склад 2", "Студия"]
})";
}

class LocationAutocompleteTests : public QObject {
    Q_OBJECT

private slots:
    void typingCompletesFromTheListAndWritesEveryKeystroke() {
        QmlSnippet snippet(field);
        QQuickItem* combo = snippet.root();
        QVERIFY(combo);
        QSignalSpy edited(combo, SIGNAL(edited(QString)));
        auto* editor = combo->property("contentItem").value<QQuickItem*>();
        QVERIFY(editor);
        editor->forceActiveFocus();
        QTRY_VERIFY(editor->hasActiveFocus());
        typeText(&snippet.window, "Бе");
        QCOMPARE(combo->property("editText").toString(), QString("Береговой цех"));
        QVERIFY(!edited.isEmpty());
        QCOMPARE(edited.last().first().toString(), QString("Береговой цех"));
        // Typing on replaces the proposed rest; text that no item starts
        // with stays as typed, and each key is written.
        typeText(&snippet.window, "Ц");
        QCOMPARE(edited.last().first().toString(), QString("БеЦ"));
        typeText(&snippet.window, "1");
        QCOMPARE(edited.last().first().toString(), QString("БеЦ1"));
    }

    void pickingAnItemSetsExactlyThatText() {
        QmlSnippet snippet(field);
        QQuickItem* combo = snippet.root();
        QSignalSpy edited(combo, SIGNAL(edited(QString)));
        combo->setProperty("currentIndex", 1);
        QMetaObject::invokeMethod(combo, "activated", Q_ARG(int, 1));
        QVERIFY(!edited.isEmpty());
        QCOMPARE(edited.last().first().toString(), QString("Склад 2"));
    }

    void textFromTheModelIsShownWithoutWritingBack() {
        QmlSnippet snippet(field);
        QQuickItem* combo = snippet.root();
        QSignalSpy edited(combo, SIGNAL(edited(QString)));
        combo->setProperty("text", "Студия");
        QCOMPARE(combo->property("editText").toString(), QString("Студия"));
        QVERIFY(edited.isEmpty());
    }

    void onlyAChangedListReplacesTheItems() {
        QmlSnippet snippet(field);
        QQuickItem* combo = snippet.root();
        combo->setProperty("text", "Склад 2");
        QSignalSpy modelChanged(combo, SIGNAL(modelChanged()));
        QSignalSpy edited(combo, SIGNAL(edited(QString)));
        combo->setProperty("suggestions", QStringList{"Береговой цех", "Склад 2", "Студия"});
        QCOMPARE(modelChanged.size(), 0);
        combo->setProperty("suggestions", QStringList{"Береговой цех", "Склад 2", "Студия", "Цех 5"});
        QCOMPARE(modelChanged.size(), 1);
        QCOMPARE(combo->property("count").toInt(), 4);
        QCOMPARE(combo->property("editText").toString(), QString("Склад 2"));  // the text survives
        QVERIFY(edited.isEmpty());
    }
};

}  // namespace nvx::testing

#include "location_autocomplete_tests.moc"

std::unique_ptr<QObject> makeLocationAutocompleteTests() {
    return std::make_unique<nvx::testing::LocationAutocompleteTests>();
}
