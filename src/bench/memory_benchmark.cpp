#include <cstdlib>
#include <cstring>
#include <memory>

#include "bench/benchmark_options.h"
#include "bench/benchmarks.h"
#include "bench/decimal_text.h"
#include "core/errors.h"
#include "core/random_id.h"
#include "inventory/process_runner.h"

namespace nvx::Benchmarks {

namespace {

constexpr std::size_t bufferBytes = 33'554'432;  // 32 MiB
constexpr double bytesPerMebibyte = 1'048'576.0;

struct FreeMemory {
    void operator()(void* block) const { std::free(block); }
};
using AlignedBuffer = std::unique_ptr<unsigned char, FreeMemory>;

AlignedBuffer allocateBuffer() {
    AlignedBuffer buffer(static_cast<unsigned char*>(std::aligned_alloc(64, bufferBytes)));
    if (!buffer) throw DepotriumError("Недостаточно памяти для теста копирования.");
    return buffer;
}

}  // namespace

Metric memoryWith(double passSeconds, const StopToken& token, const RoundClock& clock) {
    const AlignedBuffer source = allocateBuffer();
    const AlignedBuffer destination = allocateBuffer();
    fillRandomBytes(source.get(), bufferBytes);
    std::memcpy(destination.get(), source.get(), bufferBytes);  // untimed: both buffers are resident now

    std::vector<double> rates;
    std::uint64_t sink = 0;
    for (int pass = 0; pass < 3; ++pass) {
        token.check();
        const double start = clock();
        std::uint64_t copies = 0;
        // The copy counter travels through every copy and comes back into the
        // sink, so no copy's result is unused and none can be dropped.
        do {
            std::memcpy(source.get(), &copies, sizeof copies);
            std::memcpy(destination.get(), source.get(), bufferBytes);
            ++copies;
            std::uint64_t arrived = 0;
            std::memcpy(&arrived, destination.get(), sizeof arrived);
            sink += arrived;
            token.check();
        } while (clock() - start < passSeconds);
        const double end = clock();
        rates.push_back(static_cast<double>(copies * bufferBytes) / (end - start) * (1.0 / bytesPerMebibyte));
    }

    Metric metric;
    metric.id = "memory_copy";
    metric.title = "Копирование в памяти";
    metric.value = median(rates);
    metric.unit = "МиБ/с";
    metric.samples = rates;
    metric.status = "ok";
    metric.note =
        "Два буфера по 32 МиБ. Учитывается размер скопированных данных; кэш процессора влияет на результат. Это не "
        "замер всей RAM.";
    metric.parameters = {
        {"buffer_bytes", std::to_string(bufferBytes)},
        {"algorithm", "memcpy"},
        {"seconds", shortestDecimal(passSeconds)},
        {"rounds", "3"},
    };
    metric.checksum = std::to_string(sink);
    return metric;
}

Metric memory(const StopToken& token) {
    return memoryWith(duration, token);
}

}  // namespace nvx::Benchmarks
