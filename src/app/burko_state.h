#pragma once

#include <optional>
#include <string_view>

#include <QObject>

namespace nvx {

// The pet's moods, decided by the model and drawn by the pet view.
class BurkoStateNamespace {
    Q_GADGET
public:
    enum class BurkoState { idle, inspecting, measuring, waiting, complete, saved, failed };
    Q_ENUM(BurkoState)
};
using BurkoState = BurkoStateNamespace::BurkoState;

// "idle", "inspecting", ... and back; nullopt for any other text.
std::string_view rawValue(BurkoState state);
std::optional<BurkoState> burkoStateFromRawValue(std::string_view raw);

}  // namespace nvx
