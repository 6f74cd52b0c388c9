#include <cstdio>

#include "cli/modes.h"

#if NVX_HAS_WINDOW
#include "ui/window_entry.h"
#endif

namespace nvx {

int runWindow(int argc, char** argv) {
#if NVX_HAS_WINDOW
    return runDepotriumWindow(argc, argv);
#else
    (void)argc;
    (void)argv;
    std::fprintf(stderr, "Эта сборка собрана без окна: используйте --self-test, --check-core или --upload-check.\n");
    return 1;
#endif
}

}  // namespace nvx
