#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bench/benchmark_options.h"
#include "bench/benchmark_steps.h"
#include "bench/decimal_text.h"
#include "bench/gpu_session.h"
#include "core/errors.h"

// These tests run the OpenCL path on the CPU device that PoCL provides; the
// product itself only ever picks a GPU.

namespace nvx {
namespace {

using Benchmarks::ComputeDeviceKind;

// The kernel's arithmetic for one element, in single precision on the host.
float kernelElement(std::uint32_t index, std::uint32_t salt, std::uint32_t steps = 96) {
    float x = static_cast<float>((index + salt) % 1024U) * 0.0009765625F;
    for (std::uint32_t j = 0; j < steps; ++j) x = std::sin(x * 1.001F + static_cast<float>(j) * 0.001F) + 0.2F;
    return x;
}

// OpenCL lets sin be off by up to 4 ulp and may fuse x * 1.001 + c into one
// rounding; either changes x by a few ulp per step. The step's slope,
// 1.001 × cos, stays below 1 in size over the range x takes, so those
// differences shrink rather than grow over the 96 steps: 1e-5 relative leaves
// dozens of ulp of headroom, and is still far below what one step more or
// less, or another constant, would change.
constexpr float relativeTolerance = 1e-5F;

void expectKernelValue(float device, float host) {
    EXPECT_NEAR(device, host, relativeTolerance * std::fabs(host)) << "device " << device << " host " << host;
}

bool hasCPUDevice() {
    GPUSession probe(ComputeDeviceKind::cpu, "__kernel void depotrium(__global float* out, const uint salt) {}", 256);
    return probe.setup() == GPUSession::Setup::ready;
}

class OpenCLOnCPU : public ::testing::Test {
protected:
    void SetUp() override {
        if (!hasCPUDevice()) GTEST_SKIP() << "no OpenCL CPU device (PoCL) on this machine";
    }
};

TEST_F(OpenCLOnCPU, FirstElementMatchesTheHostArithmetic) {
    GPUSession session(ComputeDeviceKind::cpu, "", 256);
    ASSERT_EQ(session.setup(), GPUSession::Setup::ready);
    EXPECT_FALSE(session.deviceName().empty());
    EXPECT_LE(session.groupWidth(), 256U);
    // The iteration contracts: after 96 steps every starting value has reached
    // the same single-precision result, whatever the salt.
    for (std::uint32_t salt : {0U, 513U, 1023U}) {
        SCOPED_TRACE(salt);
        expectKernelValue(session.dispatch(salt, StopToken()), kernelElement(0, salt));
    }
    const float host = kernelElement(0, 0);
    EXPECT_GT(std::fabs(kernelElement(0, 0, 95) - host), 20 * relativeTolerance * host);
    EXPECT_GT(std::fabs(kernelElement(0, 0, 97) - host), 20 * relativeTolerance * host);
}

// The salt reaches the kernel as its second argument and the output buffer as
// its first, with the 32-bit wrap of i + salt, for every element.
TEST_F(OpenCLOnCPU, SaltAndOutputAreTheKernelsArguments) {
    const std::string probe =
        "__kernel void depotrium(__global float* out, const uint salt) {"
        "  const uint i = (uint)get_global_id(0);"
        "  if (i < 262144u) out[i] = (float)((i + salt) % 1024u);"
        "}";
    GPUSession session(ComputeDeviceKind::cpu, probe, 256);
    ASSERT_EQ(session.setup(), GPUSession::Setup::ready);
    for (std::uint32_t salt : {5U, 0xFFFFFFFFU}) {
        SCOPED_TRACE(salt);
        EXPECT_EQ(session.dispatch(salt, StopToken()), static_cast<float>(salt % 1024U));
        const std::vector<float> output = session.readOutput();
        std::size_t mismatches = 0;
        for (std::uint32_t i = 0; i < output.size(); ++i)
            if (output[i] != static_cast<float>((i + salt) % 1024U)) ++mismatches;
        EXPECT_EQ(mismatches, 0U);
    }
}

// Every element is computed, also when the group width does not divide the
// element count and the last group reaches past the buffer.
TEST_F(OpenCLOnCPU, EveryElementIsComputedWhateverTheGroupWidth) {
    for (std::size_t widthLimit : {std::size_t{256}, std::size_t{100}}) {
        SCOPED_TRACE(widthLimit);
        GPUSession session(ComputeDeviceKind::cpu, "", widthLimit);
        ASSERT_EQ(session.setup(), GPUSession::Setup::ready);
        EXPECT_EQ(session.launchWidth() % session.groupWidth(), 0U);
        EXPECT_GE(session.launchWidth(), GPUSession::elementCount);
        const std::uint32_t salt = 0xFFFFFFFFU;
        session.dispatch(salt, StopToken());
        const std::vector<float> output = session.readOutput();
        ASSERT_EQ(output.size(), GPUSession::elementCount);
        std::vector<float> expected(1024);
        for (std::uint32_t i = 0; i < 1024; ++i) expected[i] = kernelElement(i, salt);
        std::size_t mismatches = 0;
        for (std::uint32_t i = 0; i < output.size(); ++i)
            if (!(std::fabs(output[i] - expected[i % 1024]) <= relativeTolerance * std::fabs(expected[i % 1024])))
                ++mismatches;
        EXPECT_EQ(mismatches, 0U);
    }
}

TEST_F(OpenCLOnCPU, BenchmarkBuildsItsMetric) {
    GPUSession reference(ComputeDeviceKind::cpu, "", 256);
    const float first = reference.dispatch(0, StopToken());

    Benchmarks::GPUOptions options;
    options.deviceKind = ComputeDeviceKind::cpu;
    options.passSeconds = 0.0;  // one dispatch per pass, each with salt 0
    const Metric metric = Benchmarks::gpuWith(options, StopToken());
    EXPECT_EQ(metric.id, "gpu_compute");
    EXPECT_EQ(metric.title, "Графика · Metal");
    EXPECT_EQ(metric.unit, "M элементов/с");
    EXPECT_EQ(metric.status, "ok");
    EXPECT_EQ(metric.note, reference.deviceName() +
                               ". Вычислительная нагрузка Metal, не FPS в приложениях. Учитывает отправку команд и "
                               "ожидание GPU.");
    const std::map<std::string, std::string> parameters = {
        {"algorithm", "sin96"}, {"elements", "262144"}, {"seconds", "0"}, {"rounds", "3"}, {"api", "Metal"}};
    EXPECT_EQ(metric.parameters, parameters);
    ASSERT_EQ(metric.samples.size(), 3U);
    ASSERT_TRUE(metric.value.has_value());
    EXPECT_EQ(*metric.value, Benchmarks::median(metric.samples));
    for (double sample : metric.samples) EXPECT_GT(sample, 0.0);
    float sum = 0.0F;
    for (int pass = 0; pass < 3; ++pass) sum += first;
    EXPECT_EQ(metric.checksum, shortestDecimal(sum));
}

TEST_F(OpenCLOnCPU, StoppedTokenThrowsCancellationAfterTheSetUp) {
    Benchmarks::GPUOptions options;
    options.deviceKind = ComputeDeviceKind::cpu;
    options.passSeconds = 0.0;
    StopToken token;
    token.cancel();
    EXPECT_THROW(Benchmarks::gpuWith(options, token), CancellationError);
}

TEST_F(OpenCLOnCPU, KernelWithoutTheEntryPointIsTheQueueOutcome) {
    Benchmarks::GPUOptions options;
    options.deviceKind = ComputeDeviceKind::cpu;
    options.kernelSource = "__kernel void elsewhere(__global float* out) { out[0] = 1.0f; }";
    EXPECT_EQ(Benchmarks::gpuWith(options, StopToken()),
              Metric::skipped("gpu_compute", "Графика · Metal", "Не удалось создать очередь Metal."));
}

TEST_F(OpenCLOnCPU, CompileErrorBecomesASkippedMetricInTheRun) {
    Benchmarks::Steps steps;
    steps.activeProcessors = 2;
    steps.cpu = [](std::int64_t, bool multi, const StopToken&) {
        return Metric::skipped(multi ? "cpu_multi" : "cpu_single", "", "");
    };
    steps.memory = [](const StopToken&) { return Metric::skipped("memory_copy", "", ""); };
    steps.gpu = [](const StopToken& token) {
        Benchmarks::GPUOptions options;
        options.deviceKind = ComputeDeviceKind::cpu;
        options.kernelSource =
            "__kernel void depotrium(__global float* out, const uint salt) { out[0] = nvx_undeclared_name; }";
        return Benchmarks::gpuWith(options, token);
    };
    steps.disk = [](const StopToken&) { return std::vector<Metric>{}; };
    steps.pause = [](double) {};

    const auto metrics = Benchmarks::runSteps(steps, StopToken(), true, [](const std::string&, double) {});
    ASSERT_EQ(metrics.size(), 4U);
    const Metric& gpu = metrics[3];
    EXPECT_EQ(gpu.id, "gpu_compute");
    EXPECT_EQ(gpu.title, "Вычисления на графическом процессоре");
    EXPECT_EQ(gpu.status, "skipped");
    EXPECT_NE(gpu.note.find("nvx_undeclared_name"), std::string::npos) << gpu.note;
    EXPECT_FALSE(gpu.value.has_value());
}

TEST(GPUBenchmark, WithoutAGPUTheMetricIsSkippedAndNothingThrows) {
    GPUSession probe(ComputeDeviceKind::gpu, "", 256);
    if (probe.setup() != GPUSession::Setup::noDevice) GTEST_SKIP() << "this machine has an OpenCL GPU";
    StopToken token;
    token.cancel();  // no dispatch happens, so not even a stop is reported
    EXPECT_EQ(Benchmarks::gpu(token),
              Metric::skipped("gpu_compute", "Графика · Metal", "Metal недоступен на этом компьютере."));
}

// Run by CTest with the ICD loader pointed at an empty vendor folder.
TEST(GPUWithoutPlatform, NoOpenCLPlatformMeansNoDevice) {
    if (!std::getenv("NVX_TEST_NO_OPENCL_PLATFORM")) GTEST_SKIP() << "needs the environment CTest sets";
    for (auto kind : {ComputeDeviceKind::gpu, ComputeDeviceKind::cpu}) {
        Benchmarks::GPUOptions options;
        options.deviceKind = kind;
        EXPECT_EQ(Benchmarks::gpuWith(options, StopToken()),
                  Metric::skipped("gpu_compute", "Графика · Metal", "Metal недоступен на этом компьютере."));
    }
}

}  // namespace
}  // namespace nvx
