#pragma once

#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/depotrium_model.h"
#include "core/errors.h"
#include "core/random_id.h"
#include "support/sample_reports.h"

namespace nvx::testing {

// A door a background fake waits at until the test opens it, or until the
// run's token is stopped.
class Gate {
public:
    explicit Gate(bool open = true) : open_(open) {}

    void open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }
    void close() {
        std::lock_guard lock(mutex_);
        open_ = false;
    }
    bool reached() const {
        std::lock_guard lock(mutex_);
        return reached_;
    }
    // Waits for the test, polling `token` so that a stop gets through.
    void pass(const StopToken* token = nullptr) {
        std::unique_lock lock(mutex_);
        reached_ = true;
        while (!open_) {
            if (token && token->isCancelled()) return;
            changed_.wait_for(lock, std::chrono::milliseconds(5));
        }
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool open_;
    bool reached_ = false;
};

// Collector, benchmark runner and upload client that do what the test sets
// up, on the model's background threads.
struct FakeBackend {
    RunReport collected = [] {
        RunReport report = sampleReport();
        report.metrics.clear();
        report.completed = false;
        report.name.clear();
        report.owner.clear();
        report.location.clear();
        report.description.reset();
        return report;
    }();
    std::vector<std::string> collectSteps{"Собираем сведения о системе"};
    std::exception_ptr collectFailure;
    Gate collectGate;

    std::vector<Metric> metrics = [] {
        Metric metric = sampleReport().metrics.front();
        return std::vector<Metric>{metric};
    }();
    std::vector<std::pair<std::string, double>> benchmarkSteps{{"Процессор · один поток", 0.5}};
    std::exception_ptr benchmarkFailure;
    // When set, the runner returns its metrics even after a stop, as one
    // that was in its last measurement does.
    bool benchmarksIgnoreStop = false;
    Gate benchmarkGate;

    std::string savedAddress = "https://depot.nvx.example/?run=1";
    std::exception_ptr uploadFailure;
    Gate uploadGate;

    // What the model asked for, read after the work has ended.
    std::mutex mutex;
    int collectCalls = 0;
    int benchmarkCalls = 0;
    std::optional<bool> includeDisk;
    std::vector<RunReport> uploaded;
    std::vector<std::string> servers;

    int uploads() {
        std::lock_guard lock(mutex);
        return static_cast<int>(uploaded.size());
    }
};

inline DepotriumServices fakeServices(const std::shared_ptr<FakeBackend>& backend) {
    DepotriumServices services;
    services.collect = [backend](const StopToken& token, const std::function<void(const std::string&)>& progress) {
        {
            std::lock_guard lock(backend->mutex);
            ++backend->collectCalls;
        }
        for (const auto& step : backend->collectSteps) progress(step);
        backend->collectGate.pass(&token);
        token.check();
        if (backend->collectFailure) std::rethrow_exception(backend->collectFailure);
        RunReport report = backend->collected;
        report.id = randomUUID();
        return report;
    };
    services.runBenchmarks = [backend](const StopToken& token, bool includeDisk,
                                       const std::function<void(const std::string&, double)>& progress) {
        {
            std::lock_guard lock(backend->mutex);
            ++backend->benchmarkCalls;
            backend->includeDisk = includeDisk;
        }
        if (!backend->benchmarksIgnoreStop) token.check();
        for (const auto& [title, fraction] : backend->benchmarkSteps) progress(title, fraction);
        backend->benchmarkGate.pass(backend->benchmarksIgnoreStop ? nullptr : &token);
        if (!backend->benchmarksIgnoreStop) token.check();
        if (backend->benchmarkFailure) std::rethrow_exception(backend->benchmarkFailure);
        return backend->metrics;
    };
    services.upload = [backend](const RunReport& report, const std::string& server) {
        {
            std::lock_guard lock(backend->mutex);
            backend->uploaded.push_back(report);
            backend->servers.push_back(server);
        }
        backend->uploadGate.pass();
        if (backend->uploadFailure) std::rethrow_exception(backend->uploadFailure);
        return backend->savedAddress;
    };
    return services;
}

}  // namespace nvx::testing
