#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

#include "bench/benchmark_steps.h"
#include "bench/benchmarks.h"
#include "bench/usable_processors.h"
#include "core/errors.h"

namespace nvx::Benchmarks {

namespace {

constexpr std::int64_t maximumWorkers = 32;
constexpr double settlingPauseSeconds = 0.15;
constexpr const char* diskLabel = "Чтение и запись временного файла";

std::vector<Metric> skippedDisk(const std::string& note) {
    return {Metric::skipped("disk_write", "Диск · запись", note), Metric::skipped("disk_read", "Диск · чтение", note)};
}

}  // namespace

Steps Steps::system() {
    Steps steps;
    steps.cpu = Benchmarks::cpu;
    steps.memory = Benchmarks::memory;
    steps.gpu = Benchmarks::gpu;
    steps.disk = Benchmarks::disk;
    steps.pause = [](double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); };
    steps.activeProcessors = usableProcessorCount();
    return steps;
}

std::vector<Metric> runSteps(const Steps& steps, const StopToken& token, bool includeDisk, const Progress& onProgress) {
    // A caller that does not follow progress may pass an empty callback.
    const auto progress = [&](const std::string& label, double fraction) {
        if (onProgress) onProgress(label, fraction);
    };
    const std::int64_t workers = std::clamp<std::int64_t>(steps.activeProcessors, 1, maximumWorkers);

    struct MeasuredStep {
        std::string label;
        const char* skippedId;
        std::function<Metric()> operation;
    };
    const MeasuredStep measured[] = {
        {"Процессор · один поток", "cpu_single", [&] { return steps.cpu(1, false, token); }},
        {"Процессор · " + std::to_string(workers) + " потоков", "cpu_multi",
         [&] { return steps.cpu(workers, true, token); }},
        {"Копирование данных в памяти", "memory_copy", [&] { return steps.memory(token); }},
        {"Вычисления на графическом процессоре", "gpu_compute", [&] { return steps.gpu(token); }},
    };

    std::vector<Metric> metrics;
    for (std::size_t index = 0; index < std::size(measured); ++index) {
        const MeasuredStep& step = measured[index];
        token.check();
        progress(step.label, static_cast<double>(index) / 5.0);
        steps.pause(settlingPauseSeconds);
        try {
            metrics.push_back(step.operation());
        } catch (const CancellationError&) {
            throw;
        } catch (const std::exception& error) {
            // One failing benchmark must not lose the others.
            metrics.push_back(Metric::skipped(step.skippedId, step.label, describe(error)));
        }
    }

    token.check();
    progress(diskLabel, 0.8);
    if (includeDisk) {
        try {
            for (Metric& metric : steps.disk(token)) metrics.push_back(std::move(metric));
        } catch (const CancellationError&) {
            throw;
        } catch (const std::exception& error) {
            for (Metric& metric : skippedDisk(describe(error))) metrics.push_back(std::move(metric));
        }
    } else {
        for (Metric& metric : skippedDisk("Отключено пользователем.")) metrics.push_back(std::move(metric));
    }

    progress("Измерения завершены", 1.0);
    return metrics;
}

std::vector<Metric> run(const StopToken& token, bool includeDisk, const Progress& progress) {
    return runSteps(Steps::system(), token, includeDisk, progress);
}

}  // namespace nvx::Benchmarks
