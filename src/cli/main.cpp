#include <cstdio>

#include "cli/modes.h"
#include "cli/options.h"

int main(int argc, char** argv) {
    const nvx::CommandLine commandLine(argc, argv);
    switch (nvx::selectMode(commandLine)) {
    case nvx::Mode::uploadCheck:
        return nvx::runUploadCheck(commandLine);
    case nvx::Mode::selfTest:
        return nvx::runSelfTest(commandLine);
    case nvx::Mode::checkCore:
        return nvx::runCoreChecks();
    case nvx::Mode::window:
        return nvx::runWindow(argc, argv);
    }
    return 0;
}
