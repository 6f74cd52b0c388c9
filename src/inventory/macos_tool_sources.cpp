#include "inventory/macos_tool_sources.h"

#include <utility>

#include "core/json_text.h"
#include "inventory/process_runner.h"
#include "inventory/property_list.h"
#include "inventory/utf8_text.h"

namespace nvx {

std::set<std::string> parseDataTypeList(std::string_view output) {
    const std::string text = repairedUTF8(output);
    std::set<std::string> names;
    std::size_t position = 0;
    const auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; };
    while (position < text.size()) {
        while (position < text.size() && isBlank(text[position])) ++position;
        std::size_t end = position;
        while (end < text.size() && !isBlank(text[end])) ++end;
        if (end > position) names.insert(text.substr(position, end - position));
        position = end;
    }
    return names;
}

namespace {

ToolRunner orProcessRunner(ToolRunner runner) {
    if (runner) return runner;
    return [](const std::string& tool, const std::vector<std::string>& arguments, const StopToken& token,
              double timeoutSeconds) { return command(tool, arguments, token, timeoutSeconds); };
}

}  // namespace

SystemProfilerTool::SystemProfilerTool(std::string toolPath, ToolTimeLimits limits, ToolRunner runner)
    : toolPath_(std::move(toolPath)), limits_(limits), runner_(orProcessRunner(std::move(runner))) {}

std::set<std::string> SystemProfilerTool::availableDataTypes(const StopToken& token) {
    return parseDataTypeList(runner_(toolPath_, {"-listDataTypes"}, token, limits_.dataTypeListSeconds));
}

nlohmann::json SystemProfilerTool::sections(const std::vector<std::string>& dataTypes, const StopToken& token) {
    std::vector<std::string> arguments = dataTypes;
    arguments.insert(arguments.end(), {"-json", "-detailLevel", "full"});
    return parseJSONText(runner_(toolPath_, arguments, token, limits_.sectionsSeconds));
}

DiskUtilityTool::DiskUtilityTool(std::string toolPath, ToolTimeLimits limits, ToolRunner runner)
    : toolPath_(std::move(toolPath)), limits_(limits), runner_(orProcessRunner(std::move(runner))) {}

nlohmann::json DiskUtilityTool::physicalDiskList(const StopToken& token) {
    return parsePropertyList(runner_(toolPath_, {"list", "-plist", "physical"}, token, limits_.diskListSeconds));
}

nlohmann::json DiskUtilityTool::diskDetails(const std::string& identifier, const StopToken& token) {
    return parsePropertyList(runner_(toolPath_, {"info", "-plist", identifier}, token, limits_.diskDetailsSeconds));
}

bool DiskUtilityTool::isWholeDisk(const std::string& identifier) const {
    constexpr std::string_view prefix = "disk";
    if (identifier.size() <= prefix.size() || !identifier.starts_with(prefix)) return false;
    for (std::size_t index = prefix.size(); index < identifier.size(); ++index)
        if (identifier[index] < '0' || identifier[index] > '9') return false;
    return true;
}

}  // namespace nvx
