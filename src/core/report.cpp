#include "report.h"

namespace nvx {

Metric Metric::skipped(std::string id, std::string title, std::string note) {
    Metric metric;
    metric.id = std::move(id);
    metric.title = std::move(title);
    metric.status = "skipped";
    metric.note = std::move(note);
    return metric;
}

}  // namespace nvx

std::size_t std::hash<nvx::ModelMatch>::operator()(const nvx::ModelMatch& match) const noexcept {
    std::size_t seed = 0;
    auto mix = [&seed](std::size_t value) { seed ^= value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2); };
    const std::hash<std::string> text;
    mix(text(match.identifier));
    mix(text(match.name));
    mix(text(match.year));
    mix(text(match.source));
    mix(match.chip_hint ? text(*match.chip_hint) : 0x5bd1e995U);
    return seed;
}
