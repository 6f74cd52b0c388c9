#include <csignal>
#include <cstdio>

#include "cli/modes.h"
#include "cli/options.h"

int main(int argc, char** argv) {
    // A depot that closes its end mid-upload must end that upload with an
    // error, not end the program: TLS writes do not suppress SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    const nvx::CommandLine commandLine(argc, argv);
    switch (nvx::selectMode(commandLine)) {
    case nvx::Mode::uploadCheck:
        return nvx::runUploadCheck(commandLine);
    case nvx::Mode::selfTest:
        return nvx::runSelfTest(commandLine);
    case nvx::Mode::checkCore:
        return nvx::runCoreChecks();
    case nvx::Mode::usage:
        return nvx::runUsage();
    case nvx::Mode::window:
        return nvx::runWindow(argc, argv);
    }
    return 0;
}
