#include "cli/display_check.h"

namespace nvx {

bool displayMayBeAvailable(const EnvironmentLookup& environment) {
#if defined(__APPLE__)
    (void)environment;
    return true;
#else
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = environment(name);
        if (value && *value) return true;
    }
    return false;
#endif
}

}  // namespace nvx
