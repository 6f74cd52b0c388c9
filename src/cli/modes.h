#pragma once

#include "cli/options.h"

namespace nvx {

// Each headless mode writes its lines and returns the process exit status.
int runUploadCheck(const CommandLine& commandLine);
int runSelfTest(const CommandLine& commandLine);
int runCoreChecks();
// Opens the window and returns 0 when it closes.
int runWindow(int argc, char** argv);

}  // namespace nvx
