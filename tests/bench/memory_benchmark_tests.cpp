#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "bench/benchmark_options.h"
#include "core/errors.h"
#include "inventory/process_runner.h"

namespace nvx {
namespace {

TEST(MemoryBenchmark, BuildsItsMetric) {
    const Metric metric = Benchmarks::memoryWith(0.02, StopToken());
    EXPECT_EQ(metric.id, "memory_copy");
    EXPECT_EQ(metric.title, "Копирование в памяти");
    EXPECT_EQ(metric.unit, "МиБ/с");
    EXPECT_EQ(metric.status, "ok");
    EXPECT_EQ(metric.note,
              "Два буфера по 32 МиБ. Учитывается размер скопированных данных; кэш процессора влияет на результат. "
              "Это не замер всей RAM.");
    const std::map<std::string, std::string> parameters = {
        {"buffer_bytes", "33554432"}, {"algorithm", "memcpy"}, {"seconds", "0.02"}, {"rounds", "3"}};
    EXPECT_EQ(metric.parameters, parameters);
    ASSERT_EQ(metric.samples.size(), 3U);
    ASSERT_TRUE(metric.value.has_value());
    EXPECT_EQ(*metric.value, Benchmarks::median(metric.samples));
    for (double sample : metric.samples) {
        EXPECT_TRUE(std::isfinite(sample));
        EXPECT_GT(sample, 0.0);
    }
}

// The sink adds the counter that each copy carried through the buffers:
// 0 + 1 + … + (n − 1) per pass. With zero windows every pass makes exactly
// one copy, which carries 0.
TEST(MemoryBenchmark, ChecksumSumsTheCountersCarriedThroughTheCopies) {
    const Metric metric = Benchmarks::memoryWith(0.0, StopToken());
    EXPECT_EQ(metric.checksum, "0");
    for (double sample : metric.samples) EXPECT_GT(sample, 0.0);
}

TEST(MemoryBenchmark, LongerPassesCarryGrowingCounters) {
    const double window = 0.05;
    const double before = monotonic();
    const Metric metric = Benchmarks::memoryWith(window, StopToken());
    const double callSeconds = monotonic() - before;
    // A pass's rate is n × 32 MiB over its span, and the span lies between the
    // window and the whole call: that brackets n, and with it n(n − 1)/2.
    std::uint64_t lower = 0;
    std::uint64_t upper = 0;
    for (double rate : metric.samples) {
        const auto fewest =
            std::max<std::uint64_t>(1, static_cast<std::uint64_t>(std::ceil(rate * window / 32.0 - 1e-6)));
        const auto most = static_cast<std::uint64_t>(std::floor(rate * callSeconds / 32.0 + 1e-6));
        lower += fewest * (fewest - 1) / 2;
        upper += most * (most - 1) / 2;
    }
    const std::uint64_t sink = std::stoull(metric.checksum);
    EXPECT_GE(sink, lower);
    EXPECT_LE(sink, upper);
}

// The token is looked at after every copy, not only between passes.
TEST(MemoryBenchmark, StopDuringAPassEndsItAfterTheCurrentCopy) {
    StopToken token;
    std::promise<void> passStarted;
    std::atomic<bool> firstReading{true};
    const auto clock = [&] {
        if (firstReading.exchange(false)) passStarted.set_value();
        return monotonic();
    };
    auto run = std::async(std::launch::async, [&] { return Benchmarks::memoryWith(30.0, token, clock); });
    passStarted.get_future().wait();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    token.cancel();
    // A pass that ignored the stop would copy for 30 s.
    ASSERT_EQ(run.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_THROW(run.get(), CancellationError);
}

TEST(MemoryBenchmark, StoppedTokenThrowsCancellation) {
    StopToken token;
    token.cancel();
    EXPECT_THROW(Benchmarks::memoryWith(0.01, token), CancellationError);
}

}  // namespace
}  // namespace nvx
