#include "app/burko_state.h"

#include <array>
#include <utility>

namespace nvx {

namespace {

constexpr std::array<std::pair<BurkoState, std::string_view>, 7> rawValues{{
    {BurkoState::idle, "idle"},
    {BurkoState::inspecting, "inspecting"},
    {BurkoState::measuring, "measuring"},
    {BurkoState::waiting, "waiting"},
    {BurkoState::complete, "complete"},
    {BurkoState::saved, "saved"},
    {BurkoState::failed, "failed"},
}};

}  // namespace

std::string_view rawValue(BurkoState state) {
    for (const auto& [candidate, raw] : rawValues)
        if (candidate == state) return raw;
    return {};
}

std::optional<BurkoState> burkoStateFromRawValue(std::string_view raw) {
    for (const auto& [state, candidate] : rawValues)
        if (candidate == raw) return state;
    return std::nullopt;
}

}  // namespace nvx
