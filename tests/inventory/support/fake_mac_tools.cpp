#include "inventory/support/fake_mac_tools.h"

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace nvx::testing {

namespace fs = std::filesystem;

namespace {

// Single quotes for the shell; the paths and texts used here hold none.
std::string quoted(const std::string& text) {
    if (text.find('\'') != std::string::npos) throw std::invalid_argument("quote in fake tool text: " + text);
    return "'" + text + "'";
}

}  // namespace

FakeToolFolder::FakeToolFolder() {
    std::string pattern = (fs::temp_directory_path() / "nvx-test-tools-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

FakeToolFolder::~FakeToolFolder() {
    std::error_code error;
    fs::remove_all(path_, error);
}

std::string FakeToolFolder::tool(const std::string& name, const std::vector<FakeAnswer>& answers) {
    std::ostringstream script;
    script << "#!/bin/sh\n"
           << "printf '%s\\n' \"$*\" >> " << quoted((path_ / (name + ".calls")).string()) << "\n"
           << "case \"$*\" in\n";
    for (const FakeAnswer& answer : answers) {
        script << "  " << quoted(answer.arguments) << ")\n";
        if (answer.sleepSeconds > 0) script << "    sleep " << answer.sleepSeconds << "\n";
        if (!answer.outputFile.empty()) script << "    cat " << quoted(answer.outputFile.string()) << "\n";
        if (!answer.outputText.empty()) {
            const fs::path file = path_ / ("answer-" + std::to_string(++files_));
            std::ofstream(file, std::ios::binary) << answer.outputText;
            script << "    cat " << quoted(file.string()) << "\n";
        }
        if (!answer.errorText.empty()) script << "    printf '%s' " << quoted(answer.errorText) << " >&2\n";
        script << "    exit " << answer.exitStatus << " ;;\n";
    }
    script << "  *) echo \"unexpected arguments: $*\" >&2; exit 64 ;;\nesac\n";
    const fs::path file = path_ / name;
    std::ofstream(file) << script.str();
    ::chmod(file.c_str(), 0755);
    return file.string();
}

std::vector<std::string> FakeToolFolder::calls(const std::string& name) const {
    std::vector<std::string> lines;
    std::ifstream log(path_ / (name + ".calls"));
    for (std::string line; std::getline(log, line);) lines.push_back(line);
    return lines;
}

fs::path macosFixture(const std::string& relative) { return fs::path(NVX_TEST_FIXTURES) / "macos" / relative; }

fs::path linuxFixture(const std::string& tree) { return fs::path(NVX_TEST_FIXTURES) / "linux" / tree; }

}  // namespace nvx::testing
