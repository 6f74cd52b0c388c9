#include <algorithm>
#include <atomic>
#include <future>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "bench/benchmark_options.h"
#include "bench/benchmarks.h"
#include "bench/thread_count.h"
#include "core/errors.h"
#include "inventory/process_runner.h"

namespace nvx {
namespace {

using Benchmarks::cpuRound;

constexpr std::uint64_t batch = 32768;

void expectTimingError(std::int64_t workers, double seconds, const StopToken& token) {
    try {
        cpuRound(workers, seconds, token);
        FAIL() << "a round without usable timing returned";
    } catch (const DepotriumError& error) {
        EXPECT_EQ(error.message(), "Не удалось измерить время процессорного теста.");
    }
}

TEST(CPURound, WithoutWorkersHasNoTimingUnlessStopped) {
    expectTimingError(0, 0.01, StopToken());
    expectTimingError(-3, 0.01, StopToken());
    StopToken stopped;
    stopped.cancel();
    EXPECT_THROW(cpuRound(0, 0.01, stopped), CancellationError);
}

TEST(CPURound, StoppedTokenThrowsCancellationAndLeavesNoThread) {
    const std::size_t before = testing::threadCount();
    StopToken token;
    token.cancel();
    EXPECT_THROW(cpuRound(2, 10.0, token), CancellationError);
    EXPECT_EQ(testing::threadCount(), before);
}

TEST(CPURound, StopDuringTheRoundEndsItAtTheNextBatch) {
    const std::size_t before = testing::threadCount();
    StopToken token;
    auto round = std::async(std::launch::async, [&] { return cpuRound(2, 120.0, token); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    token.cancel();
    // Generous: a round that ignored the stop would run for two minutes.
    ASSERT_EQ(round.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_THROW(round.get(), CancellationError);
    EXPECT_EQ(testing::threadCount(), before);
}

TEST(CPURound, ZeroDurationRecordsEachWorkersSeedAsChecksum) {
    const auto [rate, checksum] = cpuRound(2, 0.0, StopToken());
    EXPECT_EQ(rate, 0.0);
    EXPECT_EQ(checksum, 991U ^ 992U);
}

// One worker's checksum is its workload state, which tells exactly how many
// batches it ran; the rate must be those iterations over the measured span.
TEST(CPURound, RateIsTheIterationsOverTheMeasuredSpan) {
    const double window = 0.05;
    const double before = monotonic();
    const auto [rate, checksum] = cpuRound(1, window, StopToken());
    const double callSeconds = monotonic() - before;

    std::uint64_t state = 991;
    std::uint64_t iterations = 0;
    while (state != checksum) {
        ASSERT_LT(iterations, 4'000'000'000ULL) << "checksum is no state of worker 0";
        state = integerWork(state, batch);
        iterations += batch;
    }
    ASSERT_GT(iterations, 0U);
    // The span lies between the window (the worker stops only after it) and the whole call.
    EXPECT_LE(rate * 1e6 * window, static_cast<double>(iterations) * 1.000001);
    EXPECT_GE(rate * 1e6 * callSeconds, static_cast<double>(iterations) * 0.999999);
}

TEST(CPURound, ManyWorkersAllPassTheGateAndFinish) {
    const std::size_t before = testing::threadCount();
    const auto [rate, checksum] = cpuRound(8, 0.02, StopToken());
    EXPECT_GT(rate, 0.0);
    EXPECT_NE(checksum, 0U);
    EXPECT_EQ(testing::threadCount(), before);
}

// The round's clock is read first only after every worker has started and
// reached the gate: no worker measures while others are still being created.
TEST(CPURound, NoWorkerReadsTheClockBeforeAllHaveStarted) {
    const std::size_t before = testing::threadCount();
    std::atomic<bool> firstReading{true};
    std::atomic<std::size_t> threadsAtFirstReading{0};
    // Readings take turns, so no worker gets past its first reading (and so
    // none can finish and leave) while the first one counts the threads.
    std::mutex readingLock;
    const auto clock = [&] {
        std::lock_guard hold(readingLock);
        if (firstReading.exchange(false)) threadsAtFirstReading = testing::threadCount();
        return monotonic();
    };
    Benchmarks::cpuRoundWith(16, 0.0, StopToken(), clock);
    EXPECT_EQ(threadsAtFirstReading, before + 16);
}

// A clock of its own for each worker thread: the n-th thread to read it starts
// at 10 n seconds, and every reading moves it on by 0.1 s. With a 0.25 s
// window each worker then runs exactly two batches, from 10 n to 10 n + 0.4.
class StaggeredClock {
public:
    double operator()() {
        std::lock_guard guard(lock_);
        auto [found, added] = readings_.try_emplace(std::this_thread::get_id(), 10.0 * readings_.size(), 0);
        return found->second.first + 0.1 * found->second.second++;
    }

private:
    std::mutex lock_;
    std::map<std::thread::id, std::pair<double, int>> readings_;
};

// The rate covers the earliest start to the latest end, so the worker that
// finishes last holds up the whole round.
TEST(CPURound, RateSpansTheEarliestStartToTheLatestEnd) {
    StaggeredClock staggered;
    const auto [rate, checksum] = Benchmarks::cpuRoundWith(3, 0.25, StopToken(), [&staggered] { return staggered(); });
    EXPECT_DOUBLE_EQ(rate, 3.0 * 2 * batch / 20.4 / 1e6);
    EXPECT_EQ(checksum, integerWork(991, 2 * batch) ^ integerWork(992, 2 * batch) ^ integerWork(993, 2 * batch));
}

TEST(CPUBenchmark, WarmUpRoundComesFirstAndCountsOnlyWithItsErrors) {
    std::vector<std::string> calls;
    double nextRate = 100.0;
    const auto round = [&](std::int64_t workers, double seconds, const StopToken&) {
        calls.push_back(std::to_string(workers) + " workers, " + std::to_string(seconds) + " s");
        nextRate += 1.0;
        return std::pair<double, std::uint64_t>{nextRate, static_cast<std::uint64_t>(nextRate)};
    };
    const Metric metric = Benchmarks::cpuWith(3, true, {0.2, 0.65}, StopToken(), round);
    EXPECT_EQ(calls, (std::vector<std::string>{"3 workers, 0.200000 s", "3 workers, 0.650000 s",
                                               "3 workers, 0.650000 s", "3 workers, 0.650000 s"}));
    EXPECT_EQ(metric.samples, (std::vector<double>{102.0, 103.0, 104.0})) << "the warm-up's rate is no sample";
    EXPECT_EQ(metric.checksum, std::to_string(102U ^ 103U ^ 104U));

    calls.clear();
    const auto failingWarmUp = [&](std::int64_t, double seconds, const StopToken&) -> std::pair<double, std::uint64_t> {
        calls.push_back(std::to_string(seconds));
        throw DepotriumError("Не удалось измерить время процессорного теста.");
    };
    EXPECT_THROW(Benchmarks::cpuWith(1, false, {0.2, 0.65}, StopToken(), failingWarmUp), DepotriumError);
    EXPECT_EQ(calls.size(), 1U) << "no measured round after a failed warm-up";
}

TEST(CPUBenchmark, BuildsTheMultiThreadMetric) {
    const Metric metric = Benchmarks::cpuWith(3, true, {0.01, 0.02}, StopToken());
    EXPECT_EQ(metric.id, "cpu_multi");
    EXPECT_EQ(metric.title, "Процессор · несколько потоков");
    EXPECT_EQ(metric.unit, "M итераций/с");
    EXPECT_EQ(metric.status, "ok");
    EXPECT_EQ(metric.note, "Целочисленный xorshift64*. Медиана трёх проходов. Использовано потоков: 3.");
    const std::map<std::string, std::string> parameters = {
        {"algorithm", "xorshift64star"}, {"workers", "3"}, {"seconds", "0.02"}, {"rounds", "3"}};
    EXPECT_EQ(metric.parameters, parameters);
    ASSERT_EQ(metric.samples.size(), 3U);
    ASSERT_TRUE(metric.value.has_value());
    EXPECT_EQ(*metric.value, Benchmarks::median(metric.samples));
    EXPECT_NE(std::find(metric.samples.begin(), metric.samples.end(), *metric.value), metric.samples.end());
    for (double sample : metric.samples) EXPECT_GT(sample, 0.0);
}

TEST(CPUBenchmark, ChecksumIsTheXorOfTheThreeRounds) {
    // Zero windows: every worker keeps its seed, so each round's checksum is
    // 991 ^ 992 and three of them XOR to the same.
    const Metric metric = Benchmarks::cpuWith(2, false, {0.0, 0.0}, StopToken());
    EXPECT_EQ(metric.id, "cpu_single");
    EXPECT_EQ(metric.title, "Процессор · один поток");
    EXPECT_EQ(metric.checksum, std::to_string(991U ^ 992U));
    EXPECT_EQ(metric.samples, std::vector<double>({0.0, 0.0, 0.0}));
}

TEST(CPUBenchmark, StoppedTokenThrowsCancellationNotAMetric) {
    StopToken token;
    token.cancel();
    EXPECT_THROW(Benchmarks::cpuWith(2, true, {0.01, 0.01}, token), CancellationError);
    EXPECT_THROW(Benchmarks::cpu(1, false, token), CancellationError);
}

TEST(CPUBenchmark, ProductionWindowsAreReportedAsTheyAre) {
    const Metric metric = Benchmarks::cpu(1, false, StopToken());
    EXPECT_EQ(metric.parameters.at("seconds"), "0.65");
    EXPECT_EQ(metric.parameters.at("workers"), "1");
    EXPECT_EQ(metric.samples.size(), 3U);
}

}  // namespace
}  // namespace nvx
