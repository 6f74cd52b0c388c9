#include <gtest/gtest.h>

#include "cli/options.h"

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
