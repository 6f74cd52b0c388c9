#pragma once

// Reports shaped like real ones, of a chosen size, for perf programs.

#include <iterator>
#include <string>
#include <vector>

#include "core/random_id.h"
#include "core/report.h"

namespace nvx::perf {

// An inventory shaped like a real machine's: sections of small device
// objects with texts, numbers and flags.
inline JSONValue inventoryOfSize(std::size_t targetBytes) {
    JSONValue::Object sections;
    const char* sectionNames[] = {"SPHardwareDataType", "SPMemoryDataType",  "SPStorageDataType", "SPUSBDataType",
                                  "SPPCIDataType",      "SPNetworkDataType", "SPAudioDataType",   "SPDisplaysDataType"};
    std::vector<JSONValue::Array> devices(std::size(sectionNames));
    std::size_t bytes = 0;
    for (int i = 0; bytes < targetBytes; ++i) {
        JSONValue::Object device{{"_name", JSONValue("Устройство " + std::to_string(i))},
                                 {"vendor_id", JSONValue("0x05ac (Apple Inc.)")},
                                 {"product_id", JSONValue(static_cast<double>(0x8600 + i % 256))},
                                 {"location", JSONValue("/sys/devices/pci0000:00/0000:00:1d." + std::to_string(i % 8))},
                                 {"speed", JSONValue("Up to 5 Gb/s")},
                                 {"removable", JSONValue(i % 3 == 0)},
                                 {"power_mA", JSONValue(900.5 + i)},
                                 {"driver", JSONValue(JSONValue::Object{{"name", JSONValue("xhci_hcd")},
                                                                        {"version", JSONValue("6.1.0-18")}})}};
        devices[i % devices.size()].emplace_back(std::move(device));
        bytes += 330;  // about what one device encodes to, pretty-printed
    }
    for (std::size_t i = 0; i < devices.size(); ++i) sections[sectionNames[i]] = JSONValue(std::move(devices[i]));
    return JSONValue(std::move(sections));
}

inline Metric metric(const char* id, const char* title, double value, const char* unit) {
    Metric made;
    made.id = id;
    made.title = title;
    made.value = value;
    made.unit = unit;
    made.samples = {value * 0.99, value, value * 1.013};
    made.status = "ok";
    made.note = "Медиана трёх проходов по 0,65 с.";
    made.parameters = {{"seconds", "0.65"}, {"rounds", "3"}};
    made.checksum = "12444965394858534536";
    return made;
}

// A complete report with a fresh id; a self-test's inventory is about 20 KB.
inline RunReport reportWithInventory(std::size_t inventoryBytes) {
    RunReport report;
    report.id = randomUUID();
    report.device_id = "00b87eca-99bd-5ee4-8635-a67946105e24";
    report.created_at = "2026-03-01T09:15:00Z";
    report.name = "Монтажная №2";
    report.owner = "Отдел видео";
    report.location = "Береговой цех";
    report.system = {
        "Mac14,7",
        "Apple M2",
        17179869184ULL,
        8,
        8,
        "macOS 14.4 (23E214)",
        "arm64",
        {"Apple M2"},
        std::vector<DiskSummary>{
            {"disk0", "APPLE SSD AP0512Z", 500277790720ULL, "Apple Fabric", true, true, {"Macintosh HD", "Data"}}},
        std::nullopt};
    report.inventory = inventoryOfSize(inventoryBytes);
    report.warnings = {"Fibre Channel: раздел не получен."};
    report.metrics = {metric("cpu_single", "Процессор · один поток", 412.7, "M итераций/с"),
                      metric("cpu_multi", "Процессор · все потоки", 3190.2, "M итераций/с"),
                      metric("memory_copy", "Память · копирование", 61.4, "ГБ/с"),
                      Metric::skipped("gpu_compute", "Графика", "GPU не найден."),
                      metric("disk_write", "Диск · запись", 2870.0, "МБ/с"),
                      metric("disk_read", "Диск · чтение", 3410.0, "МБ/с")};
    report.completed = true;
    return report;
}

}  // namespace nvx::perf
