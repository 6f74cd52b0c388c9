#include <QSignalSpy>
#include <QTest>
#include <QUrl>

#include "model_fixture.h"

using namespace nvx;
using namespace nvx::testing;

namespace {

const QString acceptedStage = QStringLiteral("Склад подтвердил сохранение описи");
const QString retryStage = QStringLiteral("Опись сохранена локально. Отправку можно повторить.");

}  // namespace

class SubmissionTests : public QObject {
    Q_OBJECT

private slots:
    void acceptedSubmissionRemovesTheDraft() {
        ScratchData data;
        data.writeDraft(completedReport("other", "2025-01-01T00:00:00Z"));
        data.writeDraft(completedReport("sent"));
        ModelUnderTest model;
        QCOMPARE(model->report()->id, std::string("sent"));
        model.label(" Монтажная ", "Отдел", "Цех");
        model.backend->uploadGate.close();
        model->setServer("https://first.example");
        model->send();

        QVERIFY(model->sending());
        QCOMPARE(model->petState(), BurkoState::waiting);
        QVERIFY(!model->canSubmit());
        // Stored before it left, with the label as typed then.
        QCOMPARE(data.readDraft("sent").name, std::string("Монтажная"));
        // Nothing else may change the report while it is in flight.
        model->start();
        model->restoreDraft(1);
        model->send();
        QVERIFY(!model->running());
        QCOMPARE(model->report()->id, std::string("sent"));
        model->setServer("https://later.example");

        SignalLog log(model.model.get());
        model.backend->uploadGate.open();
        QTRY_VERIFY(!model->sending());
        QCOMPARE(log.stored(), QStringList({"savedURL", "stage", "drafts", "sending"}));
        QCOMPARE(model.backend->uploads(), 1);
        QCOMPARE(model.backend->servers.at(0), std::string("https://first.example"));
        QCOMPARE(model.backend->uploaded.at(0), *model->snapshot());
        QCOMPARE(model->savedURL(), QString::fromStdString(model.backend->savedAddress));
        QCOMPARE(model->stage(), acceptedStage);
        QCOMPARE(model->petState(), BurkoState::saved);
        QVERIFY(!model->canSubmit());
        QCOMPARE(data.pendingFiles(), QStringList({"other.json"}));
        QCOMPARE(model->drafts().size(), std::size_t(1));
        QCOMPARE(model->draftsVariant().size(), 1);
        // The report itself stays in the form.
        QCOMPARE(model->report()->id, std::string("sent"));

        // Accepted once is enough: no second send, no draft for it any more.
        model->send();
        model->setName("Правка после отправки");
        model->persist();
        QTest::qWait(20);
        QCOMPARE(model.backend->uploads(), 1);
        QVERIFY(!std::filesystem::exists(data.draft("sent")));

        model->setError("Ошибка");
        QCOMPARE(model->petState(), BurkoState::failed);
    }

    void legacyFileGoesOnlyWithTheSameId_data() {
        QTest::addColumn<QByteArray>("legacy");
        QTest::addColumn<bool>("removed");
        QTest::newRow("same id") << QByteArray::fromStdString(completedReport("sent").data()) << true;
        QTest::newRow("other id") << QByteArray::fromStdString(completedReport("another").data()) << false;
        QTest::newRow("not a report") << QByteArray("{\"id\": \"sent\"}") << false;
    }

    void legacyFileGoesOnlyWithTheSameId() {
        QFETCH(QByteArray, legacy);
        QFETCH(bool, removed);
        ScratchData data;
        data.writeDraft(completedReport("sent", "2030-01-01T00:00:00Z"));
        data.write(data.path() / "pending.json", legacy.toStdString());
        ModelUnderTest model;
        QCOMPARE(model->report()->id, std::string("sent"));
        model->send();
        QTRY_VERIFY(!model->sending());
        QCOMPARE(model->stage(), acceptedStage);
        QCOMPARE(std::filesystem::exists(data.path() / "pending.json"), !removed);
        QVERIFY(!std::filesystem::exists(data.draft("sent")));
    }

    void failedSubmissionKeepsTheDraftForARetry() {
        ScratchData data;
        data.writeDraft(completedReport("kept"));
        ModelUnderTest model;
        model.backend->uploadFailure = std::make_exception_ptr(DepotriumError("Склад отказал в приёме описи."));
        SignalLog log(model.model.get());
        model->send();
        QTRY_VERIFY(!model->sending());
        QCOMPARE(log.stored(), QStringList({"drafts", "sending", "error", "stage", "sending"}));
        QCOMPARE(model->error(), QStringLiteral("Склад отказал в приёме описи."));
        QCOMPARE(model->stage(), retryStage);
        QCOMPARE(model->petState(), BurkoState::failed);
        QVERIFY(model->savedURL().isEmpty());
        QVERIFY(model->canSubmit());
        QVERIFY(std::filesystem::exists(data.draft("kept")));
        QCOMPARE(model->drafts().size(), std::size_t(1));

        model.backend->uploadFailure = nullptr;
        model->send();
        QVERIFY(model->error().isEmpty());
        QTRY_COMPARE(model->stage(), acceptedStage);
        QCOMPARE(model.backend->uploads(), 2);
    }

    void aDraftThatCannotBeStoredIsStillSent() {
        ScratchData data;
        data.writeDraft(completedReport("r1"));
        ModelUnderTest model;
        data.write(data.path() / "blocker", "x");
        qputenv("NVX_DATA_DIR", QByteArray::fromStdString((data.path() / "blocker").string()));
        QSignalSpy errors(model.model.get(), &DepotriumModel::errorChanged);
        model->send();
        QCOMPARE(errors.count(), 2);  // persist's complaint, then cleared for the submission
        QVERIFY(model->error().isEmpty());
        QTRY_COMPARE(model->stage(), acceptedStage);
    }

    void acceptanceOfAnUnsafeIdDeletesNoOtherFile() {
        ScratchData data;
        ModelUnderTest model;
        model->restore(completedReport("../decoy"));
        data.write(data.path() / "decoy.json", "must stay");
        model.label();
        model->send();
        QTRY_COMPARE(model->stage(), acceptedStage);
        QCOMPARE(model.backend->uploads(), 1);
        QCOMPARE(readWholeFile(data.path() / "decoy.json"), std::string("must stay"));
    }

    void exportNamesAndWritesTheSnapshot() {
        ScratchData data;
        RunReport report = completedReport("3f2b8c1e-0d4a-4e6b-9a7c-5d1e2f3a4b5c");
        data.writeDraft(report);
        ModelUnderTest model;
        QCOMPARE(model->suggestedExportName(), QStringLiteral("NVX-3f2b8c1e.json"));
        model->setName("  Экспорт  ");
        model->setError("Прежняя ошибка");
        const auto drafts = model->drafts();

        const QString target = QString::fromStdString((data.path() / "export.json").string());
        QVERIFY(model->exportTo(target));
        QCOMPARE(RunReport::decode(readWholeFile(data.path() / "export.json")), *model->snapshot());
        QCOMPARE(model->error(), QStringLiteral("Прежняя ошибка"));  // success says nothing
        QCOMPARE(model->drafts(), drafts);
        QCOMPARE(data.readDraft(report.id), report);  // no draft written

        // A file: URL from a dialog, replacing the earlier file.
        model->setName("Вторая");
        QVERIFY(model->exportTo(QUrl::fromLocalFile(target).toString()));
        QCOMPARE(RunReport::decode(readWholeFile(data.path() / "export.json")).name, std::string("Вторая"));

        // Also after the depot has accepted the report.
        model->setError("");
        model->send();
        QTRY_VERIFY(!model->savedURL().isEmpty());
        QVERIFY(model->exportTo(target));

        const QString unwritable = QString::fromStdString((data.path() / "missing" / "x.json").string());
        QVERIFY(!model->exportTo(unwritable));
        QVERIFY2(model->error().startsWith(QStringLiteral("Не удалось сохранить файл: ")),
                 qPrintable(model->error()));
        QVERIFY(model->error().size() > QStringLiteral("Не удалось сохранить файл: ").size());
    }

    void exportNeedsAReportButNotACompletedOne() {
        ScratchData data;
        ModelUnderTest model;
        QCOMPARE(model->suggestedExportName(), QString());
        QVERIFY(!model->exportTo(QString::fromStdString((data.path() / "none.json").string())));
        QVERIFY(!std::filesystem::exists(data.path() / "none.json"));

        RunReport partial = completedReport("abcde");
        partial.completed = false;
        model->restore(partial);
        QCOMPARE(model->suggestedExportName(), QStringLiteral("NVX-abcde.json"));
        QVERIFY(model->exportTo(QString::fromStdString((data.path() / "partial.json").string())));
        QVERIFY(!RunReport::decode(readWholeFile(data.path() / "partial.json")).completed);

        model->restore(completedReport("a/b\\c\x01" "defgh"));
        QCOMPARE(model->suggestedExportName(), QStringLiteral("NVX-a_b_c_de.json"));
    }
};

int runSubmissionTests(int argc, char** argv) {
    SubmissionTests tests;
    return QTest::qExec(&tests, argc, argv);
}

#include "submission_tests.moc"
