// The macOS tools' answers through the collector: the system profiler's
// JSON sections, the disk utility's disk list and one disk's details (up to
// three pieces, the property lists in XML or binary form).
// Promise: collecting never crashes and fails only with a readable error
// (no hardware section, an answer that is no JSON); a collected report
// encodes, and decodes to an equal report; each disk is counted once.

#include <set>

#include "core/errors.h"
#include "core/report.h"
#include "fuzz_support.h"
#include "inventory/collector.h"
#include "inventory/macos_tool_sources.h"

using namespace nvx;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto answers = fuzz::pieces(fuzz::bytesOf(data, size), 3);
    const std::string sections(answers[0]), diskList(answers[1]), diskDetails(answers[2]);

    ToolRunner profilerRunner = [&](const std::string&, const std::vector<std::string>& arguments, const StopToken&,
                                    double) -> std::string {
        if (!arguments.empty() && arguments.front() == "-listDataTypes") {
            std::string list = "Available Datatypes:\n";
            for (const auto& [dataType, title] : Collector::sections) list += dataType + "\n";
            return list;
        }
        return sections;
    };
    ToolRunner diskRunner = [&](const std::string&, const std::vector<std::string>& arguments, const StopToken&,
                                double) -> std::string { return arguments.front() == "list" ? diskList : diskDetails; };

    InventorySources sources;
    sources.profiler = std::make_shared<SystemProfilerTool>("system_profiler", ToolTimeLimits{}, profilerRunner);
    sources.diskUtility = std::make_shared<DiskUtilityTool>("diskutil", ToolTimeLimits{}, diskRunner);
    sources.kernel.sysctlString = [](const std::string&) { return std::optional<std::string>("Mac14,7"); };
    sources.kernel.sysctlInt = [](const std::string&) { return std::optional<std::int64_t>(8); };
    sources.kernel.physicalMemoryBytes = [] { return std::uint64_t{17179869184}; };
    sources.kernel.processorCount = [] { return std::int64_t{8}; };
    sources.kernel.operatingSystemVersion = [] { return std::string("macOS 14.4"); };
    sources.modelLookup = [](std::string_view) { return std::vector<ModelMatch>{}; };

    std::optional<RunReport> report;
    try {
        report = Collector::collect(sources, StopToken(), nullptr);
    } catch (const DepotriumError&) {
    } catch (const ParseError&) {
    } catch (const EncodingError& error) {
        fuzz::brokenPromise("whatever the tools answer, the inventory can be written", error.what());
    }
    if (!report) return 0;

    if (report->system.disks) {
        std::set<std::string> ids;
        for (const auto& disk : *report->system.disks)
            fuzz::require(ids.insert(disk.id).second, "each disk is counted once", disk.id);
    }
    std::string encoded;
    try {
        encoded = report->data();
        fuzz::require(RunReport::decode(encoded) == *report, "a collected report survives encoding unchanged", encoded);
    } catch (const PlatformError& error) {
        fuzz::brokenPromise("a collected report encodes and decodes", error.what());
    }
    return 0;
}
