// Submits an existing report file through the whole upload protocol and says
// in one line whether the round trip held.
#include <cstdio>
#include <exception>
#include <string>

#include "cli/background_task.h"
#include "cli/modes.h"
#include "core/errors.h"
#include "core/files.h"
#include "core/report.h"
#include "upload/depotrium_api.h"

namespace nvx {

int runUploadCheck(const CommandLine& commandLine) {
    const std::string server = commandLine.value("--server", "http://127.0.0.1:8916");
    const std::string reportPath = commandLine.value("--report", "");

    const ResultBox result = runAndWait([&](ResultBox& box) {
        try {
            const RunReport report = RunReport::decode(readWholeFile(reportPath));
            DepotriumAPI::upload(report, server);
            std::printf("PASSWORDLESS FULL REPORT ROUNDTRIP OK\n");
        } catch (const std::exception& error) {
            box.failed = true;
            std::fprintf(stderr, "UPLOAD CHECK ERROR: %s\n", describe(error).c_str());
        }
    });
    std::fflush(stdout);
    return result.failed ? 1 : 0;
}

}  // namespace nvx
