#include <string>

#include "bench/benchmark_options.h"
#include "bench/benchmarks.h"
#include "bench/decimal_text.h"

namespace nvx::Benchmarks {

Metric cpuWith(std::int64_t workers, bool multi, const CPUWindows& windows, const StopToken& token,
               const CPURound& round) {
    round(workers, windows.warmUpSeconds, token);  // warm-up: result unused, errors count

    std::vector<double> rates;
    std::uint64_t checksum = 0;
    for (int pass = 0; pass < 3; ++pass) {
        const auto [rate, roundChecksum] = round(workers, windows.passSeconds, token);
        rates.push_back(rate);
        checksum ^= roundChecksum;
    }

    Metric metric;
    metric.id = multi ? "cpu_multi" : "cpu_single";
    metric.title = multi ? "Процессор · несколько потоков" : "Процессор · один поток";
    metric.value = median(rates);
    metric.unit = "M итераций/с";
    metric.samples = rates;
    metric.status = "ok";
    metric.note =
        "Целочисленный xorshift64*. Медиана трёх проходов. Использовано потоков: " + std::to_string(workers) + ".";
    metric.parameters = {
        {"algorithm", "xorshift64star"},
        {"workers", std::to_string(workers)},
        {"seconds", shortestDecimal(windows.passSeconds)},
        {"rounds", "3"},
    };
    metric.checksum = std::to_string(checksum);
    return metric;
}

Metric cpu(std::int64_t workers, bool multi, const StopToken& token) {
    return cpuWith(workers, multi, CPUWindows{}, token);
}

}  // namespace nvx::Benchmarks
