#pragma once

#include <string>

#include "cli/options.h"

namespace nvx {

// Each headless mode writes its lines and returns the process exit status.
int runUploadCheck(const CommandLine& commandLine);
int runSelfTest(const CommandLine& commandLine);
int runCoreChecks();
// Prints the usage text on standard output and returns 0.
int runUsage();
std::string usageText();
// Opens the window and returns 0 when it closes; 1 with one line on standard
// error when there is no display to open it on.
int runWindow(int argc, char** argv);

}  // namespace nvx
