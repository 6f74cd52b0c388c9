#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace nvx::depot {

// The six benchmark results the fleet pages compare computers by. Their
// order is the order of columns in the store, the list and the exports.
struct FleetMetric {
    std::string_view id;
    std::string_view title;  // short, for table headers
    std::string_view unit;   // as the benchmarks report it
};

inline constexpr std::array<FleetMetric, 6> fleetMetrics{{
    {"cpu_single", "Процессор, 1 поток", "M итераций/с"},
    {"cpu_multi", "Процессор, все потоки", "M итераций/с"},
    {"memory_copy", "Память", "МиБ/с"},
    {"gpu_compute", "Графика", "M элементов/с"},
    {"disk_write", "Диск, запись", "МиБ/с"},
    {"disk_read", "Диск, чтение", "МиБ/с"},
}};

inline constexpr std::size_t fleetMetricCount = fleetMetrics.size();

// One value per fleet metric; nullopt where the benchmark was skipped.
using FleetMetricValues = std::array<std::optional<double>, fleetMetricCount>;

// The position of a metric id in fleetMetrics, or nullopt.
constexpr std::optional<std::size_t> fleetMetricIndex(std::string_view id) {
    for (std::size_t index = 0; index < fleetMetrics.size(); ++index)
        if (fleetMetrics[index].id == id) return index;
    return std::nullopt;
}

}  // namespace nvx::depot
