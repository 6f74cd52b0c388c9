#pragma once

#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include "core/report.h"

namespace nvx::testing {

// A complete report with every optional field present and realistic values.
inline RunReport sampleReport() {
    RunReport report;
    report.id = "3f2b8c1e-0d4a-4e6b-9a7c-5d1e2f3a4b5c";
    report.device_id = "00b87eca-99bd-5ee4-8635-a67946105e24";
    report.created_at = "2026-03-01T09:15:00Z";
    report.name = "Монтажная №2";
    report.owner = "Отдел видео";
    report.location = "Береговой цех";
    report.description = "Стойка у окна";
    report.system.model = "Mac14,7";
    report.system.chip = "Apple M2";
    report.system.memory_bytes = 17179869184ULL;
    report.system.logical_cores = 8;
    report.system.physical_cores = 8;
    report.system.os = "macOS 14.4 (23E214)";
    report.system.architecture = "arm64";
    report.system.gpu = {"Apple M2"};
    report.system.disks = std::vector<DiskSummary>{
        {"disk0", "APPLE SSD AP0512Z", 500277790720ULL, "Apple Fabric", true, true, {"Macintosh HD", "Data"}},
        {"disk4", "Extreme SSD", 1000204886016ULL, "USB", false, std::nullopt, {}}};
    report.system.model_matches = std::vector<ModelMatch>{
        {"Mac14,7", "MacBook Pro (13-inch, M2, 2022)", "2022", "https://support.example/identify-macbook-pro",
         "Apple M2"}};
    report.inventory = JSONValue::parse(R"({
        "SPHardwareDataType": [{"_name": "hardware_overview", "machine_model": "Mac14,7",
                                "physical_memory": "16 GB", "number_processors": "proc 8:4:4"}],
        "SPDisplaysDataType": [{"sppci_model": "Apple M2", "sppci_cores": "10",
                                "spdisplays_ndrvs": [{"_name": "Color LCD", "spdisplays_main": "spdisplays_yes"}]}],
        "SPFibreChannelDataType": [],
        "NVXDiskInventory": {"disk0": {"bytes": 500277790720, "connection": "Apple Fabric"}}
    })");
    report.warnings = {"Fibre Channel: macOS не предоставила раздел. Это не доказывает отсутствие оборудования."};
    Metric cpu;
    cpu.id = "cpu_single";
    cpu.title = "Процессор · один поток";
    cpu.value = 412.73125;
    cpu.unit = "M итераций/с";
    cpu.samples = {410.5, 412.73125, 415.0000000001};
    cpu.status = "ok";
    cpu.note = "Целочисленный xorshift64*. Медиана трёх проходов. Использовано потоков: 1.";
    cpu.parameters = {{"algorithm", "xorshift64star"}, {"workers", "1"}, {"seconds", "0.65"}, {"rounds", "3"}};
    cpu.checksum = "12444965394858534536";
    report.metrics = {cpu, Metric::skipped("gpu_compute", "Графика · Metal", "Metal недоступен на этом компьютере.")};
    report.completed = true;
    return report;
}

// The sample report as JSON text whose inventory is `levels` arrays nested
// in each other (the whole document is then one level deeper), as a hostile
// client or a damaged file would hand it over.
inline std::string reportTextWithNestedInventory(std::size_t levels) {
    RunReport report = sampleReport();
    report.inventory = JSONValue("NESTED-INVENTORY");
    std::string text = report.data();
    const std::string placeholder = "\"NESTED-INVENTORY\"";
    text.replace(text.find(placeholder), placeholder.size(), std::string(levels, '[') + std::string(levels, ']'));
    return text;
}

// A random JSON tree of bounded depth, with awkward texts and doubles.
inline JSONValue randomTree(std::mt19937_64& random, int depth) {
    auto pick = std::uniform_int_distribution<int>(0, depth > 0 ? 5 : 3)(random);
    auto randomText = [&random] {
        static const char* pieces[] = {"a", "Я", "/", "\\", "\"", "\n", "\t", "é", "🐕", " ", "_name", "\x01"};
        std::string text;
        const int length = std::uniform_int_distribution<int>(0, 6)(random);
        for (int i = 0; i < length; ++i) text += pieces[std::uniform_int_distribution<int>(0, 11)(random)];
        return text;
    };
    switch (pick) {
    case 0: {
        // Any finite double: random bit patterns cover subnormals and huge exponents.
        double number;
        do {
            std::uint64_t bits = random();
            std::memcpy(&number, &bits, sizeof number);
        } while (!std::isfinite(number));
        return JSONValue(number);
    }
    case 1: return JSONValue(static_cast<bool>(random() & 1));
    case 2: return JSONValue(randomText());
    case 3: return JSONValue();
    case 4: {
        JSONValue::Array elements;
        const int count = std::uniform_int_distribution<int>(0, 4)(random);
        for (int i = 0; i < count; ++i) elements.push_back(randomTree(random, depth - 1));
        return JSONValue(std::move(elements));
    }
    default: {
        JSONValue::Object members;
        const int count = std::uniform_int_distribution<int>(0, 4)(random);
        for (int i = 0; i < count; ++i) members.emplace(randomText(), randomTree(random, depth - 1));
        return JSONValue(std::move(members));
    }
    }
}

}  // namespace nvx::testing
