#include "burko_animation.h"

#include <cmath>
#include <numeric>
#include <vector>

namespace nvx {

namespace {

using Durations = std::vector<double>;

// Per-frame durations in seconds of every animated row of the sheet.
const std::vector<Durations>& durations() {
    static const std::vector<Durations> table = [] {
        auto evenThenLast = [](int count, double each, double last) {
            Durations row(count, each);
            row.push_back(last);
            return row;
        };
        return std::vector<Durations>{
            {0.28, 0.11, 0.11, 0.14, 0.14, 0.32},  // 0 idle
            evenThenLast(7, 0.12, 0.22),           // 1 walking right
            evenThenLast(7, 0.12, 0.22),           // 2 walking left
            {0.14, 0.14, 0.14, 0.28},              // 3 happy hop
            {0.14, 0.14, 0.14, 0.14, 0.28},        // 4 content wag
            evenThenLast(7, 0.14, 0.24),           // 5 failed slump
            evenThenLast(5, 0.15, 0.26),           // 6 waiting
            evenThenLast(5, 0.12, 0.22),           // 7 frozen still
            evenThenLast(5, 0.15, 0.28),           // 8 sniffing
        };
    }();
    return table;
}

}  // namespace

int framesShown(int row) {
    if (row >= 0 && row < static_cast<int>(durations().size())) return static_cast<int>(durations()[row].size());
    return row == 9 ? 1 : 0;
}

namespace {

constexpr bool loops = true;
constexpr bool once = false;

BurkoPose idlePose(double t) {
    const double u = std::fmod(t, 24.0);
    return {u > 22.5 ? 9 : 0, 0, 0.0};
}

BurkoPose inspectingPose(double t) {
    // Walk 30 points right, sniff there, walk 60 points left, stand, repeat.
    const double u = std::fmod(t, 7.0);
    if (u < 1.2) return {1, frameFor(1, u, loops), u / 1.2 * 30.0};
    if (u < 3.2) return {8, frameFor(8, u - 1.2, loops), 30.0};
    if (u < 4.4) return {2, frameFor(2, u - 3.2, loops), 30.0 - (u - 3.2) / 1.2 * 60.0};
    return {7, frameFor(7, u - 4.4, loops), -30.0};
}

}  // namespace

int frameFor(int row, double elapsed, bool loopsAround) {
    const auto& table = durations();
    if (row < 0 || row >= static_cast<int>(table.size())) return 0;
    const Durations& timings = table[static_cast<std::size_t>(row)];
    const double total = std::accumulate(timings.begin(), timings.end(), 0.0);
    const double t = loopsAround ? std::fmod(elapsed, total) : std::min(elapsed, total - 0.0001);
    double end = 0.0;
    for (std::size_t i = 0; i < timings.size(); ++i) {
        end += timings[i];
        if (t < end) return static_cast<int>(i);
    }
    return static_cast<int>(timings.size()) - 1;
}

BurkoPose burkoPose(BurkoState state, double t, bool reduceMotion) {
    if (reduceMotion) t = 0.0;
    BurkoPose pose;
    switch (state) {
    case BurkoState::idle: pose = idlePose(t); break;
    case BurkoState::inspecting: pose = inspectingPose(t); break;
    case BurkoState::measuring: pose = {7, 0, 0.0}; break;
    case BurkoState::waiting: pose = {6, frameFor(6, t, loops), 0.0}; break;
    case BurkoState::complete:
        pose = t < 0.84 && !reduceMotion ? BurkoPose{4, frameFor(4, t, once), 0.0} : idlePose(t);
        break;
    case BurkoState::saved:
        pose = t < 0.7 && !reduceMotion ? BurkoPose{3, frameFor(3, t, once), 0.0} : idlePose(t);
        break;
    case BurkoState::failed: pose = {5, frameFor(5, t, once), 0.0}; break;
    }
    if (reduceMotion) {
        pose.frame = 0;
        pose.shift = 0.0;
    }
    return pose;
}

QString burkoAccessibleLabel(BurkoState state) {
    switch (state) {
    case BurkoState::measuring: return QStringLiteral("Бурко замер на время измерения");
    case BurkoState::complete:
    case BurkoState::saved: return QStringLiteral("Бурко доволен: опись завершена");
    default: return QStringLiteral("Бурко осматривает оборудование");
    }
}

}  // namespace nvx
