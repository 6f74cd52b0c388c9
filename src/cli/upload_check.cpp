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
#include "core/report_limits.h"
#include "upload/depotrium_api.h"

namespace nvx {

int runUploadCheck(const CommandLine& commandLine) {
    const std::string server = commandLine.value("--server", "http://127.0.0.1:8916");
    const std::string reportPath = commandLine.value("--report", "");

    const ResultBox result = runAndWait([&](ResultBox& box) {
        try {
            // A device, a FIFO or a file the depot could never take back is
            // refused here, before any network access.
            const RunReport report = RunReport::decode(readWholeFile(reportPath, maximumReportBytes));
            if (report.data().size() > maximumReportBytes)
                throw DepotriumError("Опись в файле «" + reportPath + "» займёт при отправке больше " +
                                     std::to_string(maximumReportBytes / (1024 * 1024)) + " МиБ: склад не примет её.");
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
