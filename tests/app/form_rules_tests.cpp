#include <QSignalSpy>
#include <QTest>

#include "model_fixture.h"

using namespace nvx;
using namespace nvx::testing;

namespace {

QString repeated(const QString& piece, int times) {
    QString text;
    for (int i = 0; i < times; ++i) text += piece;
    return text;
}

const QString limitMessage = QStringLiteral("Название и владелец — до 100 символов, локация — до 160.");

}  // namespace

class FormRulesTests : public QObject {
    Q_OBJECT

private slots:
    void freshModelWaitsForInspection() {
        ScratchData data;
        ModelUnderTest model;
        QCOMPARE(model->stage(), QStringLiteral("Оборудование ожидает осмотра"));
        QVERIFY(model->includeDisk());
        QCOMPARE(model->tab(), 0);
        QCOMPARE(model->petState(), BurkoState::idle);
        QVERIFY(!model->canSubmit());
        QVERIFY(!model->report());
        QVERIFY(model->reportVariant().isNull());
        QVERIFY(model->drafts().empty());
        QVERIFY(model->error().isEmpty());
        QVERIFY(model->savedURL().isEmpty());
        QCOMPARE(model->server(), DepotriumModel::defaultServer);
        QVERIFY(DepotriumModel::defaultServer.startsWith("https://"));
        QCOMPARE(model->progress(), 0.0);
        QVERIFY(!model->running() && !model->measuring() && !model->sending());
    }

    void serverComesFromTheEnvironmentUnchanged() {
        ScratchData data;
        qputenv("NVX_SERVER_URL", "");
        QCOMPARE(ModelUnderTest()->server(), QString());
        qputenv("NVX_SERVER_URL", " http://127.0.0.1:8916/ ");
        QCOMPARE(ModelUnderTest()->server(), QStringLiteral(" http://127.0.0.1:8916/ "));
        qunsetenv("NVX_SERVER_URL");
    }

    void canSubmitNeedsEveryTrimmedLabelField_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("owner");
        QTest::addColumn<QString>("location");
        QTest::addColumn<bool>("expected");
        QTest::newRow("all filled") << "Монтажная" << "Отдел" << "Цех" << true;
        QTest::newRow("padded name") << " A " << "Отдел" << "Цех" << true;
        QTest::newRow("inner blanks") << "A  B" << "Отдел" << "Цех" << true;
        QTest::newRow("spaces only") << "   " << "Отдел" << "Цех" << false;
        QTest::newRow("empty name") << "" << "Отдел" << "Цех" << false;
        QTest::newRow("tab and newline owner") << "A" << "\t\r\n" << "Цех" << false;
        QTest::newRow("unicode separators") << "A" << "Отдел" << QString::fromUtf8("\u00A0\u2028\u3000\u2029")
                                            << false;
        QTest::newRow("next line") << QString::fromUtf8("\u0085") << "Отдел" << "Цех" << false;
        // A zero-width space is a format character, not whitespace.
        QTest::newRow("zero width space") << QString::fromUtf8("\u200B") << "Отдел" << "Цех" << true;
        QTest::newRow("description not needed") << "A" << "B" << "C" << true;
    }

    void canSubmitNeedsEveryTrimmedLabelField() {
        QFETCH(QString, name);
        QFETCH(QString, owner);
        QFETCH(QString, location);
        QFETCH(bool, expected);
        ScratchData data;
        data.writeDraft(completedReport("a1"));
        ModelUnderTest model;
        model->setDescriptionText("");
        model.label(name, owner, location);
        QCOMPARE(model->canSubmit(), expected);
    }

    void derivedPropertiesAnnounceTheirChanges() {
        ScratchData data;
        data.writeDraft(completedReport("a1"));
        ModelUnderTest model;
        QVERIFY(model->canSubmit());
        QCOMPARE(model->petState(), BurkoState::complete);
        QSignalSpy canSubmit(model.model.get(), &DepotriumModel::canSubmitChanged);
        QSignalSpy petState(model.model.get(), &DepotriumModel::petStateChanged);

        model->setName("  ");
        QCOMPARE(canSubmit.count(), 1);
        QVERIFY(!model->canSubmit());
        model->setName(" ");  // still not submittable: no new signal
        QCOMPARE(canSubmit.count(), 1);
        model->setName("Монтажная");
        QCOMPARE(canSubmit.count(), 2);

        model->setError("Сбой");
        QCOMPARE(petState.count(), 1);
        QCOMPARE(model->petState(), BurkoState::failed);
        model->setError("");
        QCOMPARE(model->petState(), BurkoState::complete);
        QCOMPARE(petState.count(), 2);
    }

    void incompleteReportIsNeitherCompleteNorSubmittable() {
        ScratchData data;
        ModelUnderTest model;
        RunReport partial = completedReport("p1");
        partial.completed = false;
        model->restore(partial);
        QVERIFY(model->report());
        QCOMPARE(model->petState(), BurkoState::idle);
        QVERIFY(!model->canSubmit());
        // Incomplete results are never stored.
        QVERIFY(!std::filesystem::exists(data.draft("p1")));
    }

    void locationSuggestionsAreUniqueInCodePointOrder() {
        ScratchData data;
        data.writeDraft(completedReport("d1", "2026-01-01T00:00:01Z", "B"));
        data.writeDraft(completedReport("d2", "2026-01-01T00:00:02Z", ""));
        data.writeDraft(completedReport("d3", "2026-01-01T00:00:03Z", "Береговой цех"));
        data.writeDraft(completedReport("d4", "2026-01-01T00:00:04Z", "B"));
        ModelUnderTest model;
        QCOMPARE(model->locationSuggestions(),
                 QStringList({"B", "NVX Северный", "Береговой цех", "Квартира на Лесной"}));

        // Beyond the Basic Multilingual Plane: U+FF21 sorts before U+1F600,
        // although its UTF-16 unit is greater than the surrogate's.
        QSignalSpy suggestions(model.model.get(), &DepotriumModel::locationSuggestionsChanged);
        model->restore(completedReport("d5", "2026-01-01T00:00:05Z", "\xF0\x9F\x98\x80"));
        model->restore(completedReport("d6", "2026-01-01T00:00:06Z", "\xEF\xBC\xA1"));
        model->restoreDraft(0);  // stores d6 as a draft too
        QVERIFY(suggestions.count() >= 2);
        const QStringList all = model->locationSuggestions();
        QCOMPARE(all.size(), 6);
        QCOMPARE(all.at(4), QString::fromUtf8("\uFF21"));
        QCOMPARE(all.at(5), QString::fromUtf8("\U0001F600"));
    }

    void labelLimitsCountPerceivedCharactersBeforeTrimming_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("owner");
        QTest::addColumn<QString>("location");
        QTest::addColumn<bool>("sent");
        const QString letter = QStringLiteral("я");
        const QString accented = QString::fromUtf8("e\u0301");
        const QString family = QString::fromUtf8("👩‍👩‍👧‍👦");
        const QString shortBreve = QString::fromUtf8("\u0438\u0306");  // й as и + combining breve
        QTest::newRow("name 100") << repeated(letter, 100) << "B" << "C" << true;
        QTest::newRow("name 101") << repeated(letter, 101) << "B" << "C" << false;
        QTest::newRow("owner 100") << "A" << repeated(letter, 100) << "C" << true;
        QTest::newRow("owner 101") << "A" << repeated(letter, 101) << "C" << false;
        QTest::newRow("location 160") << "A" << "B" << repeated(letter, 160) << true;
        QTest::newRow("location 161") << "A" << "B" << repeated(letter, 161) << false;
        QTest::newRow("name 100 padded") << " " + repeated(letter, 100) + " " << "B" << "C" << false;
        QTest::newRow("name 100 combining") << repeated(accented, 100) << "B" << "C" << true;
        QTest::newRow("name 101 combining") << repeated(accented, 101) << "B" << "C" << false;
        QTest::newRow("location 160 emoji") << "A" << "B" << repeated(family, 160) << true;
        QTest::newRow("location 161 emoji") << "A" << "B" << repeated(family, 161) << false;
        QTest::newRow("owner 100 breve") << "A" << repeated(shortBreve, 100) << "C" << true;
    }

    void labelLimitsCountPerceivedCharactersBeforeTrimming() {
        QFETCH(QString, name);
        QFETCH(QString, owner);
        QFETCH(QString, location);
        QFETCH(bool, sent);
        ScratchData data;
        data.writeDraft(completedReport("a1"));
        const std::string stored = readWholeFile(data.draft("a1"));
        ModelUnderTest model;
        model.label(name, owner, location);
        QVERIFY(model->canSubmit());
        model->send();
        if (sent) {
            QVERIFY(model->error().isEmpty());
            QTRY_VERIFY(!model->savedURL().isEmpty());
            QCOMPARE(model.backend->uploads(), 1);
        } else {
            QCOMPARE(model->error(), limitMessage);
            QVERIFY(!model->sending());
            QCOMPARE(model->petState(), BurkoState::failed);
            QTest::qWait(20);
            QCOMPARE(model.backend->uploads(), 0);
            // Nothing stored either: the draft still holds the old label.
            QCOMPARE(readWholeFile(data.draft("a1")), stored);
        }
    }
};

int runFormRulesTests(int argc, char** argv) {
    FormRulesTests tests;
    return QTest::qExec(&tests, argc, argv);
}

#include "form_rules_tests.moc"
