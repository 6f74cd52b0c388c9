// Encodes and decodes a report whose inventory tree is about 5 MB and prints
// the median time and throughput of each direction.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "core/report.h"
#include "support/sample_reports.h"

namespace {

// An inventory shaped like a large machine's: many devices, each a small
// object of texts, numbers and flags, nested a few levels deep.
nvx::JSONValue largeInventory(std::size_t targetBytes) {
    nvx::JSONValue::Array devices;
    std::size_t approximateBytes = 0;
    for (int i = 0; approximateBytes < targetBytes; ++i) {
        nvx::JSONValue::Object device{
            {"_name", nvx::JSONValue("USB 3.1 Bus Device " + std::to_string(i))},
            {"vendor_id", nvx::JSONValue("0x05ac (Apple Inc.)")},
            {"product_id", nvx::JSONValue(static_cast<double>(0x8600 + i % 256))},
            {"location_id", nvx::JSONValue("0x0" + std::to_string(1400000 + i) + " / 2")},
            {"bcd_device", nvx::JSONValue(1.23 + i * 0.001)},
            {"removable", nvx::JSONValue(i % 3 == 0)},
            {"speed", nvx::JSONValue("Up to 5 Gb/s")},
            {"power_mA", nvx::JSONValue(900.0)},
            {"driver", nvx::JSONValue(nvx::JSONValue::Object{{"name", nvx::JSONValue("AppleUSBHostController")},
                                                             {"version", nvx::JSONValue("1.2.3/rev")}})}};
        devices.emplace_back(std::move(device));
        approximateBytes += 420;
    }
    return nvx::JSONValue(nvx::JSONValue::Object{{"SPUSBDataType", nvx::JSONValue(std::move(devices))}});
}

template <typename Work>
double medianSeconds(int runs, Work work) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main() {
    auto report = nvx::testing::sampleReport();
    report.inventory = largeInventory(5'000'000);
    const std::string bytes = report.data();
    const double megabytes = static_cast<double>(bytes.size()) / 1e6;

    std::size_t sink = 0;
    const double encode = medianSeconds(9, [&] { sink += report.data().size(); });
    const double decode = medianSeconds(9, [&] { sink += nvx::RunReport::decode(bytes).warnings.size(); });
    const bool equal = nvx::RunReport::decode(bytes) == report;

    std::printf("report size: %.2f MB (round trip %s)\n", megabytes, equal ? "equal" : "NOT EQUAL");
    std::printf("encode: %.1f ms median, %.1f MB/s (target < 100 ms)\n", encode * 1e3, megabytes / encode);
    std::printf("decode: %.1f ms median, %.1f MB/s (target < 100 ms)\n", decode * 1e3, megabytes / decode);
    return sink == 0 || !equal;
}
