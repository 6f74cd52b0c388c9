#include <algorithm>
#include <exception>
#include <system_error>
#include <utility>

#include "app/depotrium_model.h"
#include "app/model_private.h"
#include "core/errors.h"

namespace nvx {

void DepotriumModel::start() {
    if (running_ || sending_) return;
    // A completed, unsent report is kept as a draft before it leaves the form.
    persist();
    setReport(std::nullopt);
    setSavedURL(QString());
    setError(QString());
    setProgress(0.0);
    setMeasuring(false);
    setTab(0);
    token_ = StopToken();
    setRunning(true);

    const bool includeDisk = includeDisk_;  // later ticks of the box do not reach this run
    const StopToken token = *token_;
    const DepotriumServices services = services_;
    const std::uint64_t run = ++private_->runNumber;
    Private::join(private_->runWorker);

    // Each update is queued to the main thread in the order sent and dropped
    // if its run has ended in the meantime.
    auto post = [this, run](auto step) {
        QMetaObject::invokeMethod(
            this,
            [this, run, step = std::move(step)]() mutable {
                if (private_->runNumber == run && running_) step();
            },
            Qt::QueuedConnection);
    };

    auto work = [this, post, token, services, includeDisk] {
        try {
            RunReport collected = services.collect(token, [&post, this](const std::string& step) {
                post([this, step] { setStage(QString::fromStdString(step)); });
            });
            post([this, collected = std::move(collected)]() mutable { runCollected(std::move(collected)); });
            std::vector<Metric> metrics =
                services.runBenchmarks(token, includeDisk, [&post, this](const std::string& title, double fraction) {
                    post([this, title, fraction] {
                        setStage(QString::fromStdString(title));
                        setProgress(0.2 + 0.8 * std::clamp(fraction, 0.0, 1.0));
                    });
                });
            post([this, metrics = std::move(metrics)]() mutable { runMeasured(std::move(metrics)); });
        } catch (const CancellationError&) {
            post([this] { runFailed(std::nullopt); });
        } catch (const std::exception& failure) {
            post([this, description = describe(failure)] { runFailed(description); });
        } catch (...) {
            post([this] { runFailed(std::string("Опись прервана непредвиденной ошибкой.")); });
        }
    };
    try {
        private_->runWorker = std::thread(std::move(work));
    } catch (const std::system_error& failure) {
        runFailed(backgroundStartFailure(failure));
    }
}

void DepotriumModel::cancel() {
    // Outside a run there is nothing to stop, and the status line must not
    // claim otherwise.
    if (!running_ || !token_) return;
    token_->cancel();
    setStage(QStringLiteral("Останавливаем осмотр…"));
}

void DepotriumModel::runCollected(RunReport collected) {
    setReport(std::move(collected));
    setMeasuring(true);
    setProgress(0.2);
}

void DepotriumModel::runMeasured(std::vector<Metric> metrics) {
    // A stop pressed during the last measurement still counts: its result is
    // discarded like any other stopped run.
    if (!report_ || (token_ && token_->isCancelled())) {
        runFailed(std::nullopt);
        return;
    }
    RunReport completed = *report_;
    completed.metrics = std::move(metrics);
    completed.completed = true;
    const auto skipped = std::count_if(completed.metrics.begin(), completed.metrics.end(),
                                       [](const Metric& metric) { return metric.status != "ok"; });
    setReport(std::move(completed));
    setRunning(false);
    setMeasuring(false);
    setProgress(1.0);
    setStage(skipped == 0 ? QStringLiteral("Опись и тесты завершены")
                          : QStringLiteral("Опись завершена. Пропущено измерений: %1 — причины указаны в результатах.")
                                .arg(skipped));
    persist();
    endRun();
}

void DepotriumModel::runFailed(std::optional<std::string> description) {
    setRunning(false);
    setMeasuring(false);
    // A partial result is never kept, shown or saved.
    setReport(std::nullopt);
    if (description) {
        setError(QString::fromStdString(*description));
        setStage(QStringLiteral("Опись не завершена"));
    } else {
        setStage(QStringLiteral("Осмотр остановлен. Незавершённый результат не сохранён."));
    }
    endRun();
}

void DepotriumModel::endRun() {
    token_.reset();
    ++private_->runNumber;
    // The worker queued this result as its last act; it is about to return.
    Private::join(private_->runWorker);
}

}  // namespace nvx
