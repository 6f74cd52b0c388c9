#include "bench/benchmark_options.h"
#include "bench/benchmarks.h"
#include "bench/decimal_text.h"
#include "bench/gpu_session.h"
#include "inventory/process_runner.h"

namespace nvx::Benchmarks {

namespace {

// The texts the product has always shown for this step; they name the
// interface of the reference platform whichever one runs the kernel.
constexpr const char* metricId = "gpu_compute";
constexpr const char* metricTitle = "Графика · Metal";

}  // namespace

Metric gpuOn(ComputeDevice& session, double passSeconds, const StopToken& token) {
    switch (session.setup()) {
        case ComputeDevice::Setup::noDevice:
            return Metric::skipped(metricId, metricTitle, "Metal недоступен на этом компьютере.");
        case ComputeDevice::Setup::noQueue:
            return Metric::skipped(metricId, metricTitle, "Не удалось создать очередь Metal.");
        case ComputeDevice::Setup::noMemory:
            return Metric::skipped(metricId, metricTitle, "Недостаточно памяти для теста Metal.");
        case ComputeDevice::Setup::ready:
            break;
    }

    session.dispatch(0, token);  // warm-up: result unused, errors count

    std::vector<double> rates;
    float sum = 0.0F;
    for (int pass = 0; pass < 3; ++pass) {
        const double start = monotonic();
        std::uint32_t dispatches = 0;  // also the salt: 0, 1, 2, … in every pass
        do {
            sum += session.dispatch(dispatches, token);
            ++dispatches;
        } while (monotonic() - start < passSeconds);
        const double end = monotonic();
        rates.push_back(static_cast<double>(dispatches) * GPUSession::elementCount / (end - start) / 1'000'000.0);
    }

    Metric metric;
    metric.id = metricId;
    metric.title = metricTitle;
    metric.value = median(rates);
    metric.unit = "M элементов/с";
    metric.samples = rates;
    metric.status = "ok";
    metric.note = session.deviceName() +
                  ". Вычислительная нагрузка Metal, не FPS в приложениях. Учитывает отправку команд и ожидание GPU.";
    metric.parameters = {
        {"algorithm", "sin96"},
        {"elements", std::to_string(GPUSession::elementCount)},
        {"seconds", shortestDecimal(passSeconds)},
        {"rounds", "3"},
        {"api", "Metal"},
    };
    metric.checksum = shortestDecimal(sum);
    return metric;
}

Metric gpuWith(const GPUOptions& options, const StopToken& token) {
    GPUSession session(options.deviceKind, options.kernelSource, options.groupWidthLimit);
    return gpuOn(session, options.passSeconds, token);
}

Metric gpu(const StopToken& token) {
    return gpuWith(GPUOptions{}, token);
}

}  // namespace nvx::Benchmarks
