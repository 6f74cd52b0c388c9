#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "bench/benchmark_options.h"
#include "bench/benchmarks.h"
#include "core/errors.h"
#include "inventory/process_runner.h"

namespace nvx::Benchmarks {

namespace {

// Iterations between two looks at the clock and the token: enough that the
// looks cost nothing next to the work.
constexpr std::int64_t batchIterations = 32768;

struct CPUSample {
    std::uint64_t operations;
    double start;
    double end;
    std::uint64_t checksum;
};

// Collects each worker's sample once, at its end, so the lock is never
// contended while anyone measures.
class CPUSampleBox {
public:
    void add(const CPUSample& sample) {
        std::lock_guard guard(lock_);
        samples_.push_back(sample);
    }
    // Only after every worker has been joined.
    const std::vector<CPUSample>& samples() const { return samples_; }

private:
    std::mutex lock_;
    std::vector<CPUSample> samples_;
};

// Holds every worker until all of them have started, so that no worker
// measures while others are still being created.
class StartGate {
public:
    // Returns false when the round was abandoned before it began.
    bool arriveAndWait() {
        std::unique_lock guard(lock_);
        ++arrived_;
        changed_.notify_all();
        changed_.wait(guard, [this] { return open_; });
        return !abandoned_;
    }

    void waitForArrivals(std::size_t workers) {
        std::unique_lock guard(lock_);
        changed_.wait(guard, [&] { return arrived_ == workers; });
    }

    void open(bool abandon) {
        std::lock_guard guard(lock_);
        if (open_) return;
        open_ = true;
        abandoned_ = abandon;
        changed_.notify_all();
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    std::size_t arrived_ = 0;
    bool open_ = false;
    bool abandoned_ = false;
};

void runWorker(std::int64_t index, double durationSeconds, const StopToken& token, const RoundClock& clock,
               StartGate& gate, CPUSampleBox& box) {
    if (!gate.arriveAndWait()) return;
    const double start = clock();
    std::uint64_t state = static_cast<std::uint64_t>(index) + 991;
    std::uint64_t operations = 0;
    // Clock before token, once per batch; never inside the batch.
    while (clock() - start < durationSeconds && !token.isCancelled()) {
        state = integerWork(state, batchIterations);
        operations += batchIterations;
    }
    const double end = clock();
    box.add({operations, start, end, state});
}

// The round's workers; whatever way the round leaves, none of them outlives it.
class WorkerThreads {
public:
    explicit WorkerThreads(StartGate& gate) : gate_(gate) {}
    ~WorkerThreads() {
        gate_.open(/*abandon=*/true);  // no effect once the round has started
        joinAll();
    }
    void add(std::thread thread) { threads_.push_back(std::move(thread)); }
    void reserve(std::size_t count) { threads_.reserve(count); }
    void joinAll() {
        for (auto& thread : threads_)
            if (thread.joinable()) thread.join();
    }

private:
    StartGate& gate_;
    std::vector<std::thread> threads_;
};

}  // namespace

std::pair<double, std::uint64_t> cpuRoundWith(std::int64_t workers, double durationSeconds, const StopToken& token,
                                              const RoundClock& clock) {
    const std::size_t workerCount = workers > 0 ? static_cast<std::size_t>(workers) : 0;
    StartGate gate;
    CPUSampleBox box;
    {
        WorkerThreads threads(gate);
        try {
            threads.reserve(workerCount);
            // Every worker needs a thread of its own: all of them must be able to
            // wait at the gate at once.
            for (std::size_t i = 0; i < workerCount; ++i)
                threads.add(std::thread(runWorker, static_cast<std::int64_t>(i), durationSeconds, std::cref(token),
                                        std::cref(clock), std::ref(gate), std::ref(box)));
        } catch (const std::system_error&) {
            throw DepotriumError("Не удалось запустить потоки процессорного теста.");
        } catch (const std::bad_alloc&) {
            throw DepotriumError("Не удалось запустить потоки процессорного теста.");
        }
        gate.waitForArrivals(workerCount);
        gate.open(/*abandon=*/false);
        threads.joinAll();
    }

    token.check();
    const auto& samples = box.samples();
    if (samples.empty()) throw DepotriumError("Не удалось измерить время процессорного теста.");
    double first = samples.front().start;
    double last = samples.front().end;
    std::uint64_t total = 0;
    std::uint64_t checksum = 0;
    for (const auto& sample : samples) {
        first = std::min(first, sample.start);
        last = std::max(last, sample.end);
        total += sample.operations;  // wraps modulo 2^64 by design
        checksum ^= sample.checksum;
    }
    if (!(last > first)) throw DepotriumError("Не удалось измерить время процессорного теста.");
    // From the earliest start to the latest end: one slow worker lowers the
    // rate of all, as it holds up the whole round.
    return {static_cast<double>(total) / (last - first) / 1'000'000.0, checksum};
}

std::pair<double, std::uint64_t> cpuRound(std::int64_t workers, double durationSeconds, const StopToken& token) {
    return cpuRoundWith(workers, durationSeconds, token, monotonic);
}

}  // namespace nvx::Benchmarks
