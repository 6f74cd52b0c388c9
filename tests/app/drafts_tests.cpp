#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include "model_fixture.h"

using namespace nvx;
using namespace nvx::testing;

namespace {

const QString savedLocallyPrefix = QStringLiteral("Не удалось сохранить локальную копию: ");
const QString savedLocallySuffix = QStringLiteral(". Сохраните JSON вручную.");

std::string idOf(const QVariant& report) {
    return report.toMap().value("id").toString().toStdString();
}

}  // namespace

class DraftsTests : public QObject {
    Q_OBJECT

private slots:
    void dataDirectoryFollowsTheEnvironment() {
        ScratchData data;
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(QString::fromStdString(data.path().string())));
        qputenv("NVX_DATA_DIR", "relative/data");
        DepotriumModel model(fakeServices(std::make_shared<FakeBackend>()));
        QCOMPARE(model.dataDirectory(), QString::fromStdString((data.path() / "relative/data").string()));
        QCOMPARE(model.draftDirectory(), model.dataDirectory() + "/pending");
        QCOMPARE(model.draftURL("abc"), model.dataDirectory() + "/pending/abc.json");
        // Computing the paths creates nothing.
        QVERIFY(!std::filesystem::exists(data.path() / "relative"));
        QDir::setCurrent(previous);

        qunsetenv("NVX_DATA_DIR");
        qputenv("XDG_DATA_HOME", "/srv/users/data");
        QCOMPARE(model.dataDirectory(), QStringLiteral("/srv/users/data/NVX Depotrium"));
        // A relative XDG_DATA_HOME is not valid and falls back to the home folder.
        qputenv("XDG_DATA_HOME", "not/absolute");
        QCOMPARE(model.dataDirectory(), QDir::homePath() + "/.local/share/NVX Depotrium");
        qunsetenv("XDG_DATA_HOME");
    }

    void launchLoadsCompletedDraftsNewestFirst() {
        ScratchData data;
        data.writeDraft(completedReport("older", "2026-03-01T09:15:01Z"));
        RunReport newest = completedReport("newer", "2026-03-01T09:15:02Z", "NVX Северный");
        newest.description.reset();
        data.writeDraft(newest);
        RunReport incomplete = completedReport("partial", "2026-03-02T00:00:00Z");
        incomplete.completed = false;
        data.writeDraft(incomplete);
        data.write(data.pending() / "broken.json", "{\"id\": \"broken\", ");
        data.write(data.pending() / "not-a-report.json", "{\"id\": \"x\"}");
        data.write(data.pending() / "other.txt", completedReport("text", "2027-01-01T00:00:00Z").data());
        data.write(data.pending() / "upper.JSON", completedReport("upper", "2027-01-01T00:00:00Z").data());
        std::filesystem::create_directories(data.pending() / "folder.json");
        // A leftover of an interrupted write is no draft.
        data.write(data.pending() / ".newer.json.nvx-AbC123", "{");

        ModelUnderTest model;
        QCOMPARE(model->drafts().size(), std::size_t(2));
        QCOMPARE(model->drafts()[0].id, std::string("newer"));
        QCOMPARE(model->drafts()[1].id, std::string("older"));
        QCOMPARE(model->stage(), QStringLiteral("Восстановлена последняя опись. Можно отправить её на склад."));
        QCOMPARE(model->report()->id, std::string("newer"));
        QCOMPARE(model->name(), QString::fromStdString(newest.name));
        QCOMPARE(model->owner(), QString::fromStdString(newest.owner));
        QCOMPARE(model->location(), QStringLiteral("NVX Северный"));
        QCOMPARE(model->descriptionText(), QString());
        QVERIFY(model->error().isEmpty());
        QVERIFY(model->savedURL().isEmpty());
        QVERIFY(model->canSubmit());
        QCOMPARE(model->draftsVariant().size(), 2);
        QCOMPARE(idOf(model->draftsVariant().at(0)), std::string("newer"));
        QCOMPARE(idOf(model->reportVariant()), std::string("newer"));
        QCOMPARE(model->reportVariant().toMap().value("metrics").toList().at(0).toMap().value("title").toString(),
                 QStringLiteral("Процессор · один поток"));
        // Loading neither writes nor deletes.
        QCOMPARE(data.pendingFiles().size(), 8);
    }

    void aDraftNestedTooDeeplyIsSkippedWithAWarningWhileTheOthersLoad() {
        ScratchData data;
        data.writeDraft(completedReport("fine", "2026-03-01T09:15:01Z"));
        // 100,000 levels used to overflow the stack of the reader.
        data.write(data.pending() / "deep.json", reportTextWithNestedInventory(100'000));
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression("^Черновик «.*/deep\\.json» пропущен: Не удалось прочитать опись: "
                                                "вложенность массивов и объектов глубже 512 уровней"));
        ModelUnderTest model;
        QCOMPARE(model->drafts().size(), std::size_t(1));
        QCOMPARE(model->drafts()[0].id, std::string("fine"));
    }

    void legacyFileWinsOverTheFolder() {
        ScratchData data;
        RunReport legacy = completedReport("same");
        legacy.owner = "Из старого файла";
        data.write(data.path() / "pending.json", legacy.data());
        RunReport folder = completedReport("same");
        folder.owner = "Из папки";
        data.writeDraft(folder);
        ModelUnderTest model;
        QCOMPARE(model->drafts().size(), std::size_t(1));
        QCOMPARE(model->owner(), QStringLiteral("Из старого файла"));
    }

    void draftsWithUnsafeIdsAreSkipped() {
        ScratchData data;
        int file = 0;
        for (const std::string id : {"", ".", "..", "../escape", "a/b", "a\\b", "tab\there", "del\x7f",
                                     "c1\xc2\x85"}) {
            data.write(data.pending() / ("unsafe" + std::to_string(++file) + ".json"), completedReport(id).data());
        }
        data.write(data.path() / "pending.json", completedReport("../../legacy").data());
        data.writeDraft(completedReport("plain-ok"));
        ModelUnderTest model;
        QCOMPARE(model->drafts().size(), std::size_t(1));
        QCOMPARE(model->drafts()[0].id, std::string("plain-ok"));
    }

    void persistStoresTheTrimmedLabelAndTheDescriptionAsTyped() {
        ScratchData data;
        data.writeDraft(completedReport("r1"));
        ModelUnderTest model;
        QSignalSpy drafts(model.model.get(), &DepotriumModel::draftsChanged);
        model.label("  Монтажная \n", "\tОтдел", "Цех  ");
        model->setDescriptionText("   ");
        model->persist();
        RunReport stored = data.readDraft("r1");
        QCOMPARE(stored.name, std::string("Монтажная"));
        QCOMPARE(stored.owner, std::string("Отдел"));
        QCOMPARE(stored.location, std::string("Цех"));
        QCOMPARE(stored.description, std::optional<std::string>("   "));
        QCOMPARE(drafts.count(), 1);

        model->setDescriptionText("");
        model->setName("Вторая правка");
        model->persist();
        stored = data.readDraft("r1");
        QVERIFY(!stored.description);
        QVERIFY(readWholeFile(data.draft("r1")).find("\"description\"") == std::string::npos);
        QCOMPARE(stored.name, std::string("Вторая правка"));
        QCOMPARE(model->drafts().size(), std::size_t(1));
        QCOMPARE(model->drafts()[0], stored);
        QCOMPARE(data.pendingFiles(), QStringList({"r1.json"}));
        QCOMPARE(model->draftsVariant().at(0).toMap().value("name").toString(), QStringLiteral("Вторая правка"));
    }

    void persistFailureKeepsTheListAndSaysSo() {
        ScratchData data;
        data.writeDraft(completedReport("r1"));
        ModelUnderTest model;
        const QString stage = model->stage();
        // The data directory now lies below a plain file: no folder can be made.
        data.write(data.path() / "blocker", "x");
        qputenv("NVX_DATA_DIR", QByteArray::fromStdString((data.path() / "blocker" / "data").string()));
        model->setName("Новое имя");
        model->persist();
        QVERIFY2(model->error().startsWith(savedLocallyPrefix), qPrintable(model->error()));
        QVERIFY(model->error().endsWith(savedLocallySuffix));
        QVERIFY(model->error().size() > savedLocallyPrefix.size() + savedLocallySuffix.size());
        QVERIFY2(!model->error().contains(".."), "the description's own full stop is not doubled");
        QCOMPARE(model->stage(), stage);
        QCOMPARE(model->drafts().size(), std::size_t(1));
        QCOMPARE(model->drafts()[0].name, completedReport("r1").name);
    }

    void persistRefusesAnIdThatIsNoFileName() {
        ScratchData data;
        ModelUnderTest model;
        data.write(data.path() / "escape.json", "untouched");
        model->restore(completedReport("../escape"));
        model->persist();
        QCOMPARE(model->error(), savedLocallyPrefix + "идентификатор описи не годится для имени файла" +
                                     savedLocallySuffix);
        QCOMPARE(readWholeFile(data.path() / "escape.json"), std::string("untouched"));
        QVERIFY(model->drafts().empty());
        QVERIFY(!std::filesystem::exists(data.pending()));
    }

    void restoreStoresTheCurrentReportFirst() {
        ScratchData data;
        data.writeDraft(completedReport("current"));
        ModelUnderTest model;
        model->setName("Правка до восстановления");
        model->setError("Старая ошибка");
        RunReport other = completedReport("other", "2025-01-01T00:00:00Z", "NVX Северный");
        other.description = "Описание";
        other.owner = "Другой владелец";
        SignalLog log(model.model.get());
        model->restore(other);

        QCOMPARE(data.readDraft("current").name, std::string("Правка до восстановления"));
        QCOMPARE(model->report()->id, std::string("other"));
        QCOMPARE(model->location(), QStringLiteral("NVX Северный"));
        QCOMPARE(model->descriptionText(), QStringLiteral("Описание"));
        QVERIFY(model->error().isEmpty());
        QCOMPARE(model->stage(), QStringLiteral("Восстановлена локальная опись"));
        QCOMPARE(log.stored(), QStringList({"drafts", "report", "name", "owner", "location", "descriptionText",
                                            "error", "stage"}));
        // The restored report is stored only by the next persist().
        QVERIFY(!std::filesystem::exists(data.draft("other")));
    }

    void aWindowPersistingOnEveryEditNeverStoresAMixture() {
        ScratchData data;
        data.writeDraft(completedReport("current"));
        ModelUnderTest model;
        // As the window does: every label change is stored at once.
        DepotriumModel* m = model.model.get();
        for (auto signal : {&DepotriumModel::nameChanged, &DepotriumModel::ownerChanged,
                            &DepotriumModel::locationChanged, &DepotriumModel::descriptionTextChanged})
            QObject::connect(m, signal, m, &DepotriumModel::persist);
        std::vector<RunReport> stored;
        QObject::connect(m, &DepotriumModel::draftsChanged, m, [&] { stored.push_back(m->drafts().front()); });

        RunReport other = completedReport("other", "2025-01-01T00:00:00Z", "NVX Северный");
        other.name = "Другое имя";
        other.owner = "Другой владелец";
        other.description.reset();
        model->restore(other);
        model->setName("Правка");
        for (const auto& report : stored) {
            if (report.id != "other") continue;
            QCOMPARE(report.owner, other.owner);
            QCOMPARE(report.location, other.location);
            QCOMPARE(report.description, other.description);
        }
        QCOMPARE(data.readDraft("other").name, std::string("Правка"));
        QCOMPARE(data.readDraft("current"), completedReport("current"));
    }

    void restoreDraftTakesTheChosenDraftAlthoughTheListMoves() {
        ScratchData data;
        data.writeDraft(completedReport("a", "2026-02-01T00:00:00Z"));
        data.writeDraft(completedReport("b", "2026-01-01T00:00:00Z"));
        ModelUnderTest model;  // shows a; list is [a, b]
        model->restoreDraft(1);  // stores a, shows b; list [a, b]
        QCOMPARE(model->report()->id, std::string("b"));
        model->restoreDraft(0);  // stores b first, which moves it to the front
        QCOMPARE(model->report()->id, std::string("a"));
        QCOMPARE(model->drafts()[0].id, std::string("b"));
        model->restoreDraft(7);
        model->restoreDraft(-1);
        QCOMPARE(model->report()->id, std::string("a"));
    }
};

int runDraftsTests(int argc, char** argv) {
    DraftsTests tests;
    return QTest::qExec(&tests, argc, argv);
}

#include "drafts_tests.moc"
