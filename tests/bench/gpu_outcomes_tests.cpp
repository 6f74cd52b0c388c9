// The GPU benchmark's outcomes on devices that fail on purpose: what a real
// device rarely shows on demand.
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bench/benchmark_options.h"
#include "bench/compute_device.h"
#include "bench/decimal_text.h"
#include "core/errors.h"

namespace nvx {
namespace {

class FakeDevice : public ComputeDevice {
public:
    explicit FakeDevice(Setup setup = Setup::ready) : setup_(setup) {}
    Setup setup() const override { return setup_; }
    const std::string& deviceName() const override { return name_; }
    float dispatch(std::uint32_t salt, const StopToken& token) override {
        token.check();
        salts.push_back(salt);
        if (onDispatch) return onDispatch(salts.size());
        return 1.0F;
    }

    std::vector<std::uint32_t> salts;
    // Given the number of the dispatch (1 for the warm-up), its out[0].
    std::function<float(std::size_t)> onDispatch;

private:
    Setup setup_;
    std::string name_ = "Fake GPU";
};

Metric skipped(const char* note) {
    return Metric::skipped("gpu_compute", "Графика · Metal", note);
}

TEST(GPUOutcomes, EachSetUpFailureIsItsSkippedMetric) {
    for (const auto& [setup, note] :
         {std::pair{ComputeDevice::Setup::noDevice, "Metal недоступен на этом компьютере."},
          std::pair{ComputeDevice::Setup::noQueue, "Не удалось создать очередь Metal."},
          std::pair{ComputeDevice::Setup::noMemory, "Недостаточно памяти для теста Metal."}}) {
        FakeDevice device(setup);
        StopToken stopped;
        stopped.cancel();  // nothing is dispatched, so not even a stop is reported
        EXPECT_EQ(Benchmarks::gpuOn(device, 0.0, stopped), skipped(note));
        EXPECT_TRUE(device.salts.empty());
    }
}

// One untimed dispatch with salt 0 first; its result is not in the checksum.
// Every timed pass then counts its salts from 0 again.
TEST(GPUOutcomes, WarmUpDispatchComesFirstAndStaysOutOfTheChecksum) {
    FakeDevice device;
    device.onDispatch = [](std::size_t number) { return number == 1 ? 1000.0F : 0.5F; };
    const Metric metric = Benchmarks::gpuOn(device, 0.0, StopToken());
    EXPECT_EQ(device.salts, (std::vector<std::uint32_t>{0, 0, 0, 0}));
    EXPECT_EQ(metric.checksum, shortestDecimal(1.5F));
    EXPECT_EQ(
        metric.note,
        "Fake GPU. Вычислительная нагрузка Metal, не FPS в приложениях. Учитывает отправку команд и ожидание GPU.");
    EXPECT_EQ(metric.status, "ok");
}

// A dispatch that fails ends the benchmark with that error, warm-up included;
// the runner turns it into a skipped metric.
TEST(GPUOutcomes, DispatchFailuresAndStopsEndTheBenchmark) {
    for (const char* message : {"Metal не создал команду.", "Ошибка выполнения Metal."}) {
        for (std::size_t failing : {std::size_t{1}, std::size_t{3}}) {
            FakeDevice device;
            device.onDispatch = [&](std::size_t number) -> float {
                if (number == failing) throw DepotriumError(message);
                return 1.0F;
            };
            try {
                Benchmarks::gpuOn(device, 0.0, StopToken());
                ADD_FAILURE() << "no error";
            } catch (const DepotriumError& error) {
                EXPECT_EQ(error.message(), message);
            }
            EXPECT_EQ(device.salts.size(), failing);
        }
    }
    FakeDevice device;
    StopToken stopped;
    stopped.cancel();
    EXPECT_THROW(Benchmarks::gpuOn(device, 0.0, stopped), CancellationError) << "the warm-up looks at the token";
}

}  // namespace
}  // namespace nvx
