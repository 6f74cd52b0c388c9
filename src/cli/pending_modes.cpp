// Modes whose machinery is not in this build yet end with one clear line on
// standard error and a non-zero status.
#include <cstdio>

#include "cli/modes.h"

namespace nvx {

namespace {
int notYetAvailable(const char* what) {
    std::fprintf(stderr, "%s пока недоступен в этой сборке.\n", what);
    return 3;
}
}  // namespace

int runUploadCheck(const CommandLine&) { return notYetAvailable("Режим --upload-check"); }
int runSelfTest(const CommandLine&) { return notYetAvailable("Режим --self-test"); }
int runCoreChecks() { return notYetAvailable("Режим --check-core"); }
int runWindow(int, char**) { return notYetAvailable("Окно приложения"); }

}  // namespace nvx
