#include "options.h"

#include <algorithm>

namespace nvx {

CommandLine::CommandLine(int argc, char** argv) : arguments_(argv, argv + argc) {}

bool CommandLine::flag(std::string_view option) const {
    return std::find(arguments_.begin(), arguments_.end(), option) != arguments_.end();
}

std::optional<std::string> CommandLine::value(std::string_view option) const {
    auto found = std::find(arguments_.begin(), arguments_.end(), option);
    if (found == arguments_.end() || std::next(found) == arguments_.end()) return std::nullopt;
    return *std::next(found);
}

std::string CommandLine::value(std::string_view option, std::string_view fallback) const {
    return value(option).value_or(std::string(fallback));
}

Mode selectMode(const CommandLine& commandLine) {
    if (commandLine.flag("--upload-check")) return Mode::uploadCheck;
    if (commandLine.flag("--self-test")) return Mode::selfTest;
    if (commandLine.flag("--check-core")) return Mode::checkCore;
    // What anyone types first on a machine without a display must not open
    // the window.
    if (commandLine.flag("--help") || commandLine.flag("-h")) return Mode::usage;
    return Mode::window;
}

}  // namespace nvx
