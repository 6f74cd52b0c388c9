#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nvx {

// The process arguments, position 0 (the program path) included. Every test
// is an exact, case-sensitive comparison of a whole argument.
class CommandLine {
public:
    explicit CommandLine(std::vector<std::string> arguments) : arguments_(std::move(arguments)) {}
    CommandLine(int argc, char** argv);

    // A flag is present when any argument equals it.
    bool flag(std::string_view option) const;
    // The argument right after the first occurrence of `option`, verbatim
    // (it may be empty or another option); nullopt when the option is absent
    // or is the last argument.
    std::optional<std::string> value(std::string_view option) const;
    std::string value(std::string_view option, std::string_view fallback) const;

private:
    std::vector<std::string> arguments_;
};

enum class Mode { uploadCheck, selfTest, checkCore, usage, window };

// The first of --upload-check, --self-test, --check-core that is present;
// otherwise the usage text when --help or -h asks for it, else the window.
Mode selectMode(const CommandLine& commandLine);

}  // namespace nvx
