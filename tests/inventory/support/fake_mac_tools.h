#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace nvx::testing {

// One way a fake tool answers one exact argument line ("$*" of the call, e.g.
// "info -plist disk0"): a file printed on standard output, and optionally a
// text after it, a text on standard error, an exit status and a delay first.
struct FakeAnswer {
    FakeAnswer(std::string arguments, std::filesystem::path outputFile = {})
        : arguments(std::move(arguments)), outputFile(std::move(outputFile)) {}
    FakeAnswer& printing(std::string text) { outputText = std::move(text); return *this; }
    FakeAnswer& failing(int status, std::string error) { exitStatus = status; errorText = std::move(error); return *this; }
    FakeAnswer& after(double seconds) { sleepSeconds = seconds; return *this; }

    std::string arguments;
    std::filesystem::path outputFile;
    std::string outputText;
    std::string errorText;
    int exitStatus = 0;
    double sleepSeconds = 0;
};

// A private temporary folder of fake tools: shell scripts that print recorded
// outputs for the argument lines they know, and log every call. Removed with
// the object.
class FakeToolFolder {
public:
    FakeToolFolder();
    ~FakeToolFolder();
    FakeToolFolder(const FakeToolFolder&) = delete;
    FakeToolFolder& operator=(const FakeToolFolder&) = delete;

    // Writes the tool `name` and returns its path. An unknown argument line
    // exits with status 64 and says so on standard error.
    std::string tool(const std::string& name, const std::vector<FakeAnswer>& answers);
    // The argument lines the tool was called with, in order.
    std::vector<std::string> calls(const std::string& name) const;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
    int files_ = 0;
};

// A file of the recorded macOS outputs, e.g. macosFixture("m1-macbook-air/profile.json").
std::filesystem::path macosFixture(const std::string& relative);
// A root folder of a recorded Linux tree.
std::filesystem::path linuxFixture(const std::string& tree);

}  // namespace nvx::testing
