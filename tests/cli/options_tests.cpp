#include <gtest/gtest.h>

#include <map>
#include <string>

#include "cli/display_check.h"
#include "cli/modes.h"
#include "cli/options.h"
#include "core/default_server.h"

namespace nvx {
namespace {

CommandLine line(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "/usr/bin/depotrium");
    return CommandLine(std::move(arguments));
}

TEST(CommandLine, ModesAreSelectedInFixedOrder) {
    EXPECT_EQ(selectMode(line({"--self-test", "--upload-check"})), Mode::uploadCheck);
    EXPECT_EQ(selectMode(line({"--check-core", "--self-test"})), Mode::selfTest);
    EXPECT_EQ(selectMode(line({"--check-core"})), Mode::checkCore);
    EXPECT_EQ(selectMode(line({})), Mode::window);
    EXPECT_EQ(selectMode(line({"--selftest", "-check-core", "--SELF-TEST", "--self-test=1"})), Mode::window);
}

// Help never opens the window, and never stands in a headless mode's way.
TEST(CommandLine, HelpIsAskedForOnlyWhenNoModeIs) {
    EXPECT_EQ(selectMode(line({"--help"})), Mode::usage);
    EXPECT_EQ(selectMode(line({"--name", "x", "-h"})), Mode::usage);
    EXPECT_EQ(selectMode(line({"--help", "--check-core"})), Mode::checkCore);
    EXPECT_EQ(selectMode(line({"-h", "--upload-check"})), Mode::uploadCheck);
    EXPECT_EQ(selectMode(line({"--HELP", "-help", "--h"})), Mode::window);
}

TEST(CommandLine, UsageNamesEveryOptionTheDefaultDepotAndTheStatuses) {
    const std::string usage = usageText();
    for (const char* option :
         {"--upload-check", "--server", "--report", "--self-test", "--no-disk", "--name", "--owner", "--location",
          "--output", "--submit", "--check-core", "--help", "NVX_SERVER_URL", "NVX_DATA_DIR", "NVX_CA_FILE", "NVX_RESOURCE_DIR",
          "TMPDIR", defaultServerAddress})
        EXPECT_NE(usage.find(option), std::string::npos) << option;
    EXPECT_NE(usage.find("Коды завершения"), std::string::npos);
}

// Without an X11 or Wayland display, and without a Qt platform named, the
// window has nowhere to appear.
TEST(DisplayCheck, NeedsADisplayOrAnExplicitPlatform) {
    const auto environment = [](std::map<std::string, std::string> values) {
        return [values](const char* name) -> const char* {
            const auto found = values.find(name);
            return found == values.end() ? nullptr : found->second.c_str();
        };
    };
    EXPECT_FALSE(displayMayBeAvailable(environment({})));
    EXPECT_FALSE(displayMayBeAvailable(environment({{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"TERM", "xterm"}})));
    EXPECT_TRUE(displayMayBeAvailable(environment({{"DISPLAY", ":0"}})));
    EXPECT_TRUE(displayMayBeAvailable(environment({{"WAYLAND_DISPLAY", "wayland-0"}})));
    EXPECT_TRUE(displayMayBeAvailable(environment({{"QT_QPA_PLATFORM", "offscreen"}})));
}

TEST(CommandLine, ValueIsTheNextArgumentVerbatimWhateverItIs) {
    const auto options = line({"--name", "--owner", "Иван", "--location", ""});
    EXPECT_EQ(options.value("--name"), "--owner");
    EXPECT_EQ(options.value("--owner"), "Иван");
    EXPECT_EQ(options.value("--location"), "") << "an empty value is a value";
}

TEST(CommandLine, LastArgumentOrAbsentOptionTakesTheDefault) {
    const auto options = line({"--self-test", "--submit"});
    EXPECT_FALSE(options.value("--submit").has_value());
    EXPECT_EQ(options.value("--output", "depotrium-self-test.json"), "depotrium-self-test.json");
}

TEST(CommandLine, LaterRepetitionsAreIgnored) {
    const auto options = line({"--name", "first", "--name", "second"});
    EXPECT_EQ(options.value("--name"), "first");
    // The program path itself is an argument like any other and never a value.
    EXPECT_FALSE(line({}).value("/usr/bin/depotrium").has_value());
}

}  // namespace
}  // namespace nvx
