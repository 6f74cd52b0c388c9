#include "depot/run_columns.h"

#include <cmath>

#include "depot/hardware_profile.h"

namespace nvx::depot {

NewRun fleetColumns(const RunReport& report) {
    NewRun run;
    run.id = report.id;
    run.name = report.name;
    run.owner = report.owner;
    run.location = report.location;
    run.model = report.system.model;
    run.deviceId = report.device_id;
    run.chip = report.system.chip;
    run.memoryBytes = report.system.memory_bytes;
    for (const Metric& metric : report.metrics) {
        const auto index = fleetMetricIndex(metric.id);
        // A metric listed twice counts once: the first one, as the page shows it.
        if (index && !run.metrics[*index] && metric.value && std::isfinite(*metric.value))
            run.metrics[*index] = metric.value;
    }
    run.hardware = HardwareProfile::of(report).encoded();
    return run;
}

std::string foldedForSearch(std::string_view text) {
    std::string folded;
    folded.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x20 || byte == 0x7F) {
            folded.push_back(' ');
            continue;
        }
        if (byte >= 'A' && byte <= 'Z') {
            folded.push_back(static_cast<char>(byte + ('a' - 'A')));
            continue;
        }
        if (i + 1 < text.size() && (byte == 0xD0)) {
            const auto next = static_cast<unsigned char>(text[i + 1]);
            if (next >= 0x90 && next <= 0x9F) {  // А..П → а..п
                folded += {static_cast<char>(0xD0), static_cast<char>(next + 0x20)};
                ++i;
                continue;
            }
            if (next >= 0xA0 && next <= 0xAF) {  // Р..Я → р..я
                folded += {static_cast<char>(0xD1), static_cast<char>(next - 0x20)};
                ++i;
                continue;
            }
            if (next == 0x81) {  // Ё → ё
                folded += {static_cast<char>(0xD1), static_cast<char>(0x91)};
                ++i;
                continue;
            }
        }
        folded.push_back(static_cast<char>(byte));
    }
    return folded;
}

}  // namespace nvx::depot
