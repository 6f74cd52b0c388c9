#pragma once

#include <functional>

namespace nvx {

// The line that says why the window cannot open and what works without it.
inline constexpr const char* noDisplayMessage =
    "Нет доступного дисплея: окно открыть нельзя. Без окна работают режимы --self-test, --check-core и "
    "--upload-check (справка: depotrium --help).";

// An environment variable's value, or null when it is not set.
using EnvironmentLookup = std::function<const char*(const char* name)>;

// Whether a window could have somewhere to appear. On Linux that needs an X11
// or Wayland display, or a Qt platform chosen explicitly (offscreen, eglfs,
// VNC…); the macOS window server is always there.
bool displayMayBeAvailable(const EnvironmentLookup& environment);

}  // namespace nvx
