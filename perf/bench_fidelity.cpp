// Runs each benchmark beside a plain loop that does the same work with no
// harness around it, in one process, and prints the ratios:
//   cpu_single            at least 0.97 of a tight loop of the workload
//   cpu_multi / (cpu_single × workers)   at least 0.9 on idle cores (and, for
//                         busy machines, cpu_multi over plain threads)
//   memory_copy           at least 0.95 of a plain memcpy loop over 32 MiB buffers
//   disk write / read     within 0.9 of a plain O_DIRECT loop of the same sizes
// The benchmark and its plain twin alternate three times and the medians are
// compared, so slow drifts of the machine hit both alike. Figures taken on a
// busy machine are noisy; say so when quoting them.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "bench/benchmarks.h"
#include "core/random_id.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double medianOf(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void report(const char* name, double ratio, double target) {
    std::printf("%-40s %8.3f   (target >= %.2f)%s\n", name, ratio, target, ratio >= target ? "" : "   BELOW TARGET");
}

// Millions of workload iterations per second of one bare loop over ~0.65 s.
volatile std::uint64_t keep;
double plainWorkloadRate() {
    std::uint64_t state = 991;
    std::uint64_t iterations = 0;
    const auto start = Clock::now();
    while (secondsSince(start) < nvx::Benchmarks::duration) {
        state = nvx::integerWork(state, 1 << 22);
        iterations += 1 << 22;
    }
    const double seconds = secondsSince(start);
    keep = state;
    return static_cast<double>(iterations) / seconds / 1e6;
}

// The same loop on `workers` plain threads at once: total millions per second.
double plainParallelRate(std::int64_t workers) {
    std::vector<double> rates(static_cast<std::size_t>(workers));
    std::vector<std::thread> threads;
    for (std::int64_t i = 0; i < workers; ++i)
        threads.emplace_back([&rates, i] { rates[static_cast<std::size_t>(i)] = plainWorkloadRate(); });
    for (auto& thread : threads) thread.join();
    double total = 0;
    for (double rate : rates) total += rate;
    return total;
}

void compareCPU(const nvx::StopToken& token) {
    std::vector<double> single, plain, multi, plainMulti;
    const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
    const std::int64_t workers = std::clamp<long>(online, 1, 32);
    nvx::Benchmarks::cpuRound(1, 0.2, token);  // warm-up, as the benchmark does
    for (int i = 0; i < 3; ++i) {
        single.push_back(nvx::Benchmarks::cpuRound(1, nvx::Benchmarks::duration, token).first);
        plain.push_back(plainWorkloadRate());
        multi.push_back(nvx::Benchmarks::cpuRound(workers, nvx::Benchmarks::duration, token).first);
        plainMulti.push_back(plainParallelRate(workers));
    }
    const double singleRate = medianOf(single);
    const double plainRate = medianOf(plain);
    const double multiRate = medianOf(multi);
    const double plainMultiRate = medianOf(plainMulti);
    std::printf(
        "cpu_single %.1f M/s, plain loop %.1f M/s, cpu_multi %.1f M/s with %lld workers, plain threads %.1f M/s\n",
        singleRate, plainRate, multiRate, static_cast<long long>(workers), plainMultiRate);
    report("cpu_single / plain loop", singleRate / plainRate, 0.97);
    report("cpu_multi / (cpu_single x workers)", multiRate / (singleRate * static_cast<double>(workers)), 0.9);
    // On a busy machine the line above measures the other load; this one
    // still tells whether the harness costs anything.
    std::printf("%-40s %8.3f\n", "cpu_multi / plain threads", multiRate / plainMultiRate);
}

constexpr std::size_t copyBytes = 33'554'432;

// MiB per second of a bare memcpy loop over two 32 MiB buffers for ~0.65 s.
double plainCopyRate(unsigned char* source, unsigned char* destination) {
    std::uint64_t copies = 0;
    const auto start = Clock::now();
    do {
        std::memcpy(destination, source, copyBytes);
        ++copies;
        source[copies & 4095] ^= destination[(copies * 7) & 4095];  // keep every copy observable
    } while (secondsSince(start) < nvx::Benchmarks::duration);
    return static_cast<double>(copies * copyBytes) / secondsSince(start) / 1'048'576.0;
}

void compareMemory(const nvx::StopToken& token) {
    auto* source = static_cast<unsigned char*>(std::aligned_alloc(64, copyBytes));
    auto* destination = static_cast<unsigned char*>(std::aligned_alloc(64, copyBytes));
    nvx::fillRandomBytes(source, copyBytes);
    std::memcpy(destination, source, copyBytes);
    std::vector<double> benchmark, plain;
    for (int i = 0; i < 3; ++i) {
        benchmark.push_back(*nvx::Benchmarks::memory(token).value);
        plain.push_back(plainCopyRate(source, destination));
    }
    std::free(source);
    std::free(destination);
    const double benchmarkRate = medianOf(benchmark);
    const double plainRate = medianOf(plain);
    std::printf("memory_copy %.0f MiB/s, plain memcpy %.0f MiB/s\n", benchmarkRate, plainRate);
    report("memory_copy / plain memcpy", benchmarkRate / plainRate, 0.95);
}

struct DiskRates {
    double write = 0;
    double read = 0;
};

constexpr std::size_t chunkBytes = 8'388'608;
constexpr int chunks = 16;

// The same file size, transfer size and flush as the disk benchmark, with
// O_DIRECT and nothing else. Returns zeros when the volume refuses.
DiskRates plainUncachedRates() {
    const auto path = std::filesystem::temp_directory_path() / ("nvx-perf-disk-" + nvx::randomUUID());
    const int fd = ::open(path.c_str(), O_CREAT | O_EXCL | O_RDWR | O_DIRECT | O_CLOEXEC, 0600);
    if (fd < 0) return {};
    auto* buffer = static_cast<unsigned char*>(std::aligned_alloc(4096, chunkBytes));
    nvx::fillRandomBytes(buffer, chunkBytes);
    DiskRates rates;
    bool ok = true;
    auto start = Clock::now();
    for (int i = 0; i < chunks && ok; ++i) ok = ::write(fd, buffer, chunkBytes) == static_cast<ssize_t>(chunkBytes);
    ok = ok && ::fsync(fd) == 0;
    rates.write = 128.0 / secondsSince(start);
    ok = ok && ::lseek(fd, 0, SEEK_SET) == 0;
    start = Clock::now();
    for (int i = 0; i < chunks && ok; ++i) ok = ::read(fd, buffer, chunkBytes) == static_cast<ssize_t>(chunkBytes);
    rates.read = 128.0 / secondsSince(start);
    std::free(buffer);
    ::close(fd);
    ::unlink(path.c_str());
    return ok ? rates : DiskRates{};
}

void compareDisk(const nvx::StopToken& token) {
    std::vector<double> write, read, plainWrite, plainRead;
    for (int i = 0; i < 3; ++i) {
        std::vector<nvx::Metric> metrics;
        try {
            metrics = nvx::Benchmarks::disk(token);
        } catch (const std::exception& error) {
            std::printf("disk benchmark skipped: %s\n", error.what());
            return;
        }
        write.push_back(*metrics[0].value);
        read.push_back(*metrics[1].value);
        const DiskRates plain = plainUncachedRates();
        plainWrite.push_back(plain.write);
        plainRead.push_back(plain.read);
    }
    const double w = medianOf(write), r = medianOf(read), pw = medianOf(plainWrite), pr = medianOf(plainRead);
    std::printf("disk write %.0f MiB/s (plain %.0f), read %.0f MiB/s (plain %.0f)\n", w, pw, r, pr);
    if (pw <= 0 || pr <= 0) {
        std::printf("plain O_DIRECT loop failed on this volume\n");
        return;
    }
    // "Within 0.9": the smaller rate over the larger, either way round.
    report("disk write, benchmark vs plain O_DIRECT", std::min(w, pw) / std::max(w, pw), 0.9);
    report("disk read, benchmark vs plain O_DIRECT", std::min(r, pr) / std::max(r, pr), 0.9);
}

}  // namespace

int main() {
    const nvx::StopToken token;
    compareCPU(token);
    compareMemory(token);
    compareDisk(token);
    return 0;
}
