#include <linux/magic.h>
#include <sched.h>
#include <sys/vfs.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bench/benchmark_options.h"
#include "bench/benchmark_steps.h"
#include "core/errors.h"

namespace nvx {
namespace {

using Benchmarks::Steps;

Metric measured(const std::string& id) {
    Metric metric;
    metric.id = id;
    metric.title = id;
    metric.value = 1.0;
    metric.status = "ok";
    return metric;
}

// Steps that measure nothing and write down what the runner asked of them.
struct RecordingSteps {
    std::vector<std::string> events;
    Steps steps;

    explicit RecordingSteps(std::int64_t processors = 8) {
        steps.activeProcessors = processors;
        steps.cpu = [this](std::int64_t workers, bool multi, const StopToken&) {
            events.push_back("cpu " + std::to_string(workers) + (multi ? " multi" : " single"));
            return measured(multi ? "cpu_multi" : "cpu_single");
        };
        steps.memory = [this](const StopToken&) {
            events.push_back("memory");
            return measured("memory_copy");
        };
        steps.gpu = [this](const StopToken&) {
            events.push_back("gpu");
            return measured("gpu_compute");
        };
        steps.disk = [this](const StopToken&) {
            events.push_back("disk");
            return std::vector<Metric>{measured("disk_write"), measured("disk_read")};
        };
        steps.pause = [this](double seconds) { events.push_back("pause " + std::to_string(seconds)); };
    }

    Benchmarks::Progress progress() {
        return [this](const std::string& label, double fraction) {
            events.push_back(label + " @ " + std::to_string(fraction));
        };
    }

    std::vector<Metric> run(const StopToken& token, bool includeDisk) {
        return Benchmarks::runSteps(steps, token, includeDisk, progress());
    }
};

std::vector<std::string> ids(const std::vector<Metric>& metrics) {
    std::vector<std::string> result;
    for (const auto& metric : metrics) result.push_back(metric.id);
    return result;
}

const std::vector<std::string> allIds = {"cpu_single",  "cpu_multi",  "memory_copy",
                                         "gpu_compute", "disk_write", "disk_read"};

TEST(BenchmarkRunner, RunsTheStepsInOrderWithProgressAndPauses) {
    RecordingSteps recording;
    const auto metrics = recording.run(StopToken(), true);
    EXPECT_EQ(ids(metrics), allIds);
    const std::vector<std::string> expected = {
        "Процессор · один поток @ 0.000000",
        "pause 0.150000",
        "cpu 1 single",
        "Процессор · 8 потоков @ 0.200000",
        "pause 0.150000",
        "cpu 8 multi",
        "Копирование данных в памяти @ 0.400000",
        "pause 0.150000",
        "memory",
        "Вычисления на графическом процессоре @ 0.600000",
        "pause 0.150000",
        "gpu",
        "Чтение и запись временного файла @ 0.800000",
        "disk",
        "Измерения завершены @ 1.000000",
    };
    EXPECT_EQ(recording.events, expected);
}

TEST(BenchmarkRunner, DiskSwitchedOffGivesTwoSkippedMetricsAndTheSameProgress) {
    RecordingSteps recording;
    const auto metrics = recording.run(StopToken(), false);
    ASSERT_EQ(ids(metrics), allIds);
    EXPECT_EQ(metrics[4], Metric::skipped("disk_write", "Диск · запись", "Отключено пользователем."));
    EXPECT_EQ(metrics[5], Metric::skipped("disk_read", "Диск · чтение", "Отключено пользователем."));
    EXPECT_EQ(std::count(recording.events.begin(), recording.events.end(), "disk"), 0);
    EXPECT_EQ(recording.events[12], "Чтение и запись временного файла @ 0.800000");
    EXPECT_EQ(recording.events.back(), "Измерения завершены @ 1.000000");
}

TEST(BenchmarkRunner, CapsTheWorkersAtThirtyTwo) {
    RecordingSteps many(64);
    many.run(StopToken(), false);
    EXPECT_EQ(many.events[3], "Процессор · 32 потоков @ 0.200000");
    EXPECT_EQ(many.events[5], "cpu 32 multi");

    RecordingSteps one(1);
    one.run(StopToken(), false);
    EXPECT_EQ(one.events[3], "Процессор · 1 потоков @ 0.200000");
}

// In a container or under taskset the process may use fewer processors than
// are online; the multi-thread step starts one worker per usable one.
TEST(BenchmarkRunner, WorkersAreTheProcessorsThisProcessMayRunOn) {
    cpu_set_t original;
    ASSERT_EQ(::sched_getaffinity(0, sizeof original, &original), 0);
    int first = 0;
    while (!CPU_ISSET(first, &original)) ++first;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(first, &one);
    ASSERT_EQ(::sched_setaffinity(0, sizeof one, &one), 0);
    const std::int64_t usable = Steps::system().activeProcessors;
    ::sched_setaffinity(0, sizeof original, &original);
    EXPECT_EQ(usable, 1);
    EXPECT_EQ(Steps::system().activeProcessors, CPU_COUNT(&original));
}

TEST(BenchmarkRunner, FailuresBecomeSkippedMetricsTitledByTheirStep) {
    RecordingSteps recording(4);
    recording.steps.cpu = [](std::int64_t, bool multi, const StopToken&) -> Metric {
        if (multi) throw DepotriumError("Не удалось измерить время процессорного теста.");
        return measured("cpu_single");
    };
    recording.steps.memory = [](const StopToken&) -> Metric { throw DepotriumError("память кончилась."); };
    recording.steps.gpu = [](const StopToken&) -> Metric { throw ComputeError("error: use of undeclared identifier"); };
    recording.steps.disk = [](const StopToken&) -> std::vector<Metric> {
        throw DepotriumError("Ошибка синхронизации временного файла.");
    };
    const auto metrics = recording.run(StopToken(), true);
    ASSERT_EQ(ids(metrics), allIds);
    EXPECT_EQ(metrics[0].status, "ok");
    EXPECT_EQ(metrics[1],
              Metric::skipped("cpu_multi", "Процессор · 4 потоков", "Не удалось измерить время процессорного теста."));
    EXPECT_EQ(metrics[2], Metric::skipped("memory_copy", "Копирование данных в памяти", "память кончилась."));
    EXPECT_EQ(metrics[3], Metric::skipped("gpu_compute", "Вычисления на графическом процессоре",
                                          "error: use of undeclared identifier"));
    EXPECT_EQ(metrics[4], Metric::skipped("disk_write", "Диск · запись", "Ошибка синхронизации временного файла."));
    EXPECT_EQ(metrics[5], Metric::skipped("disk_read", "Диск · чтение", "Ошибка синхронизации временного файла."));
}

TEST(BenchmarkRunner, StopInsideAStepEndsTheRunWithCancellation) {
    RecordingSteps recording;
    StopToken token;
    recording.steps.memory = [&](const StopToken& stepToken) -> Metric {
        token.cancel();
        stepToken.check();
        return measured("memory_copy");
    };
    EXPECT_THROW(recording.run(token, true), CancellationError);
    const std::vector<std::string> tail(recording.events.end() - 2, recording.events.end());
    EXPECT_EQ(tail, std::vector<std::string>({"Копирование данных в памяти @ 0.400000", "pause 0.150000"}))
        << "no later step may start after the stop";
}

TEST(BenchmarkRunner, CancellationThrownByADiskStepIsNeverASkippedMetric) {
    RecordingSteps recording;
    recording.steps.disk = [](const StopToken&) -> std::vector<Metric> { throw CancellationError(); };
    EXPECT_THROW(recording.run(StopToken(), true), CancellationError);
}

TEST(BenchmarkRunner, StopAfterTheGPUStepComesBeforeTheDiskProgress) {
    RecordingSteps recording;
    StopToken token;
    recording.steps.gpu = [&](const StopToken&) {
        token.cancel();  // the step itself finishes normally
        return measured("gpu_compute");
    };
    EXPECT_THROW(recording.run(token, true), CancellationError);
    const std::vector<std::string> tail(recording.events.end() - 2, recording.events.end());
    EXPECT_EQ(tail, std::vector<std::string>({"Вычисления на графическом процессоре @ 0.600000", "pause 0.150000"}))
        << "the disk step's progress must not be reported after the stop";
}

TEST(BenchmarkRunner, StoppedBeforeTheStartReportsNothing) {
    RecordingSteps recording;
    StopToken token;
    token.cancel();
    EXPECT_THROW(recording.run(token, true), CancellationError);
    EXPECT_TRUE(recording.events.empty());
}

TEST(BenchmarkRunner, TemporaryFolderOnTmpfsGivesTheTwoSkippedDiskMetrics) {
    struct statfs volume {};
    if (::statfs("/dev/shm", &volume) != 0 || volume.f_type != TMPFS_MAGIC)
        GTEST_SKIP() << "no tmpfs at /dev/shm on this machine";
    RecordingSteps recording;
    recording.steps.disk = [](const StopToken& token) {
        return Benchmarks::diskWith("/dev/shm", DiskIO::system(), token);
    };
    const auto metrics = recording.run(StopToken(), true);
    const std::string note = "Этот том не поддерживает отключение файлового кэша. Тест диска пропущен.";
    ASSERT_EQ(ids(metrics), allIds);
    EXPECT_EQ(metrics[4], Metric::skipped("disk_write", "Диск · запись", note));
    EXPECT_EQ(metrics[5], Metric::skipped("disk_read", "Диск · чтение", note));
}

TEST(BenchmarkRunner, RealStepsHonourAStopAtOnce) {
    StopToken token;
    token.cancel();
    std::vector<std::string> labels;
    EXPECT_THROW(Benchmarks::run(token, true, [&](const std::string& label, double) { labels.push_back(label); }),
                 CancellationError);
    EXPECT_TRUE(labels.empty());
}

}  // namespace
}  // namespace nvx
