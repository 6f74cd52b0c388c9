// The whole job without a window: inventory, benchmarks, the report file,
// summary lines and, with --submit, the verified submission.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>

#include "bench/benchmarks.h"
#include "cli/background_task.h"
#include "cli/modes.h"
#include "cli/self_test_lines.h"
#include "core/errors.h"
#include "core/files.h"
#include "core/report.h"
#include "core/stop_token.h"
#include "inventory/collector.h"
#include "upload/depotrium_api.h"

namespace nvx {

int runSelfTest(const CommandLine& commandLine) {
    const bool includeDisk = !commandLine.flag("--no-disk");
    const std::filesystem::path output(commandLine.value("--output", "depotrium-self-test.json"));
    const auto submit = commandLine.value("--submit");

    // With --output /dev/stdout the report goes down standard output, for
    // example into jq; the lines about it then go to standard error.
    FILE* const lines = namesStandardOutput(output) ? stderr : stdout;
    const auto printLine = [lines](const std::string& text) {
        std::fputs(text.c_str(), lines);
        std::fputc('\n', lines);
        // Progress is worth seeing as it happens, also through a pipe.
        std::fflush(lines);
    };

    RunReport report;
    try {
        // This mode is never stopped; the token is only there for the API.
        const StopToken token;
        report = Collector::collect(token, printLine);
        report.metrics =
            Benchmarks::run(token, includeDisk, [&](const std::string& label, double) { printLine(label); });
        report.name = commandLine.value("--name", "Локальная проверка приложения");
        report.owner = commandLine.value("--owner", "Проверка NVX Depotrium");
        report.location = commandLine.value("--location", "Локальный стенд");
        report.completed = true;
        writeFileAtomically(output, report.data());
    } catch (const std::exception& error) {
        std::fflush(stdout);
        std::fprintf(stderr, "SELF TEST ERROR: %s\n", describe(error).c_str());
        return 1;
    }

    printLine("REPORT " + std::filesystem::absolute(output).lexically_normal().string());
    printLine("DEVICE " + report.device_id);
    for (const auto& metric : report.metrics) printLine(metricLine(metric));

    if (!submit) return 0;
    const ResultBox result = runAndWait([&](ResultBox& box) {
        try {
            printLine("SAVED " + DepotriumAPI::upload(report, *submit));
        } catch (const std::exception& error) {
            box.failed = true;
            std::fprintf(stderr, "UPLOAD ERROR: %s\n", describe(error).c_str());
        }
    });
    return result.failed ? 2 : 0;
}

}  // namespace nvx
