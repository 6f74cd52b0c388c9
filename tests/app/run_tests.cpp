#include <chrono>
#include <thread>

#include <QSignalSpy>
#include <QTest>

#include "model_fixture.h"

using namespace nvx;
using namespace nvx::testing;

namespace {

const QString stoppedStage = QStringLiteral("Осмотр остановлен. Незавершённый результат не сохранён.");

}  // namespace

class RunTests : public QObject {
    Q_OBJECT

private slots:
    void aRunGoesThroughItsPhasesInOrder() {
        ScratchData data;
        ModelUnderTest model;
        model.backend->collectSteps = {"Шаг один", "Шаг два"};
        model.backend->collectGate.close();
        model.backend->benchmarkSteps = {{"Память", 0.25}, {"Графика", 0.5}};
        model.backend->benchmarkGate.close();

        model->start();
        QVERIFY(model->running());
        QCOMPARE(model->petState(), BurkoState::inspecting);
        QCOMPARE(model->stage(), QStringLiteral("Оборудование ожидает осмотра"));  // until the first step
        QTRY_COMPARE(model->stage(), QStringLiteral("Шаг два"));
        QCOMPARE(model->progress(), 0.0);
        QVERIFY(!model->report());

        // An error shown during the run does not hide the run from the pet.
        model->setError("Посторонняя ошибка");
        QCOMPARE(model->petState(), BurkoState::inspecting);
        model->setError("");

        model.backend->collectGate.open();
        QTRY_COMPARE(model->stage(), QStringLiteral("Графика"));
        QVERIFY(model->measuring());
        QCOMPARE(model->petState(), BurkoState::measuring);
        QCOMPARE(model->progress(), 0.6);
        QVERIFY(model->report() && !model->report()->completed);
        QVERIFY(!model->canSubmit());

        SignalLog log(model.model.get());
        model.backend->benchmarkGate.open();
        QTRY_VERIFY(!model->running());
        QCOMPARE(log.stored(), QStringList({"report", "running", "measuring", "progress", "stage", "drafts"}));
        QCOMPARE(model->progress(), 1.0);
        QCOMPARE(model->stage(), QStringLiteral("Опись и тесты завершены"));
        QVERIFY(model->report()->completed);
        QCOMPARE(model->report()->metrics, model.backend->metrics);
        QCOMPARE(model->petState(), BurkoState::complete);
        // Stored at once, with the (still empty) label of the form.
        QCOMPARE(data.readDraft(model->report()->id), *model->report());
        QCOMPARE(model->drafts().size(), std::size_t(1));
        QVERIFY(!model->canSubmit());
        model.label();
        QVERIFY(model->canSubmit());
    }

    void skippedMeasurementsAreCounted() {
        ScratchData data;
        ModelUnderTest model;
        model.backend->metrics.push_back(Metric::skipped("gpu_compute", "Графика", "Нет устройства."));
        Metric odd = model.backend->metrics.front();
        odd.id = "memory_copy";
        odd.status = "OK";  // anything but exactly "ok" counts as skipped
        model.backend->metrics.push_back(odd);
        model.runToEnd();
        QCOMPARE(model->stage(),
                 QStringLiteral("Опись завершена. Пропущено измерений: 2 — причины указаны в результатах."));
        QVERIFY(model->report()->completed);
    }

    void startStoresThePreviousReportAndClearsTheRun() {
        ScratchData data;
        ModelUnderTest model;
        model.runToEnd();
        const std::string first = model->report()->id;
        model.label("Имя", "Владелец", "Место");
        model->setDescriptionText("Заметка");
        model->setTab(2);
        model->setError("Старая ошибка");
        model.backend->collectGate.close();

        SignalLog log(model.model.get());
        model->start();
        QCOMPARE(log.stored(), QStringList({"drafts", "report", "error", "progress", "tab", "running"}));
        QCOMPARE(data.readDraft(first).name, std::string("Имя"));
        QCOMPARE(data.readDraft(first).description, std::optional<std::string>("Заметка"));
        // The form keeps its fields for the next report.
        QCOMPARE(model->name(), QStringLiteral("Имя"));
        QCOMPARE(model->descriptionText(), QStringLiteral("Заметка"));
        QVERIFY(!model->report());
        QCOMPARE(model->tab(), 0);

        // A second start while running is ignored.
        model->start();
        model.backend->collectGate.open();
        QTRY_VERIFY(!model->running());
        QCOMPARE(model.backend->collectCalls, 2);
        QCOMPARE(model->drafts().size(), std::size_t(2));
        QCOMPARE(model->drafts()[0].id, model->report()->id);
        QCOMPARE(model->drafts()[0].name, std::string("Имя"));
    }

    void theDiskChoiceIsReadWhenTheRunStarts() {
        ScratchData data;
        ModelUnderTest model;
        model->setIncludeDisk(false);
        model.backend->collectGate.close();
        model->start();
        model->setIncludeDisk(true);
        model.backend->collectGate.open();
        QTRY_VERIFY(!model->running());
        QCOMPARE(model.backend->includeDisk, std::optional<bool>(false));
    }

    void stopDuringCollectionKeepsNothing() {
        ScratchData data;
        ModelUnderTest model;
        model.backend->collectGate.close();
        model->start();
        QTRY_VERIFY(model.backend->collectGate.reached());
        model->cancel();
        QCOMPARE(model->stage(), QStringLiteral("Останавливаем осмотр…"));
        QVERIFY(model->running());  // the flags change when the work has ended
        QTRY_VERIFY(!model->running());
        QCOMPARE(model->stage(), stoppedStage);
        QVERIFY(!model->report());
        QVERIFY(model->error().isEmpty());
        QCOMPARE(model->petState(), BurkoState::idle);
        QCOMPARE(model.backend->benchmarkCalls, 0);
        QVERIFY(!std::filesystem::exists(data.pending()));
    }

    void stopDuringTheLastBenchmarkDiscardsItsMetrics() {
        ScratchData data;
        ModelUnderTest model;
        model.backend->benchmarksIgnoreStop = true;
        model.backend->benchmarkGate.close();
        model->start();
        QTRY_VERIFY(model->measuring());
        QTRY_VERIFY(model.backend->benchmarkGate.reached());
        const double progress = model->progress();
        model->cancel();
        model.backend->benchmarkGate.open();  // the runner still returns its metrics
        QTRY_VERIFY(!model->running());
        QVERIFY(!model->measuring());
        QVERIFY(!model->report());
        QCOMPARE(model->stage(), stoppedStage);
        QCOMPARE(model->progress(), progress);
        QVERIFY(model->drafts().empty());
        QVERIFY(!std::filesystem::exists(data.pending()));
        QVERIFY(!model->canSubmit());
    }

    void failuresShowTheirDescription() {
        ScratchData data;
        ModelUnderTest model;
        model.backend->collectFailure = std::make_exception_ptr(
            DepotriumError("Система не выдала раздел «Оборудование»."));
        model.runToEnd();
        QCOMPARE(model->error(), QStringLiteral("Система не выдала раздел «Оборудование»."));
        QCOMPARE(model->stage(), QStringLiteral("Опись не завершена"));
        QCOMPARE(model->petState(), BurkoState::failed);
        QVERIFY(!model->report());

        model.backend->collectFailure = nullptr;
        model.backend->benchmarkFailure = std::make_exception_ptr(LaunchError("Не удалось запустить программу."));
        model.backend->collectGate.close();
        model->start();
        QVERIFY(model->error().isEmpty());  // a new run clears the old error
        model.backend->collectGate.open();
        QTRY_VERIFY(!model->running());
        QCOMPARE(model->error(), QStringLiteral("Не удалось запустить программу."));
        QVERIFY(!model->report());
        QVERIFY(!std::filesystem::exists(data.pending()));
    }

    void cancelOutsideARunChangesNothing() {
        ScratchData data;
        ModelUnderTest model;
        SignalLog log(model.model.get());
        model->cancel();
        QVERIFY(log.names.isEmpty());
        QCOMPARE(model->stage(), QStringLiteral("Оборудование ожидает осмотра"));
    }

    void startAfterAcceptanceStoresNoDraft() {
        ScratchData data;
        data.writeDraft(completedReport("sent"));
        ModelUnderTest model;
        model->send();
        QTRY_VERIFY(!model->savedURL().isEmpty());
        QVERIFY(!std::filesystem::exists(data.draft("sent")));
        model.backend->collectGate.close();
        model->start();
        QVERIFY(model->savedURL().isEmpty());
        QVERIFY(!std::filesystem::exists(data.draft("sent")));
        model.backend->collectGate.open();
        QTRY_VERIFY(!model->running());
    }

    void destroyingTheModelMidRunStopsAndJoinsTheWorker() {
        ScratchData data;
        auto backend = std::make_shared<FakeBackend>();
        backend->collectSteps = {"Один", "Два", "Три"};
        backend->collectGate.close();
        {
            DepotriumModel model(fakeServices(backend));
            model.start();
            // Waiting without an event loop leaves the progress updates
            // queued for the model when it goes.
            while (!backend->collectGate.reached()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        QCoreApplication::processEvents();
        QCOMPARE(backend->benchmarkCalls, 0);
        QVERIFY(!std::filesystem::exists(data.pending()));
    }
};

int runRunTests(int argc, char** argv) {
    RunTests tests;
    return QTest::qExec(&tests, argc, argv);
}

#include "run_tests.moc"
