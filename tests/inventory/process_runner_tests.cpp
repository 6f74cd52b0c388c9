#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/errors.h"
#include "core/stop_token.h"
#include "inventory/process_runner.h"

namespace nvx {
namespace {

namespace fs = std::filesystem;

std::set<std::string> openDescriptors() {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) names.insert(entry.path().filename().string());
    return names;
}

// Every test runs with TMPDIR pointing at a private folder, holds its fake
// tools in another, and checks on the way out that nothing was left behind:
// no working folder, no descriptor, no child to reap.
class CommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/nvx-runner-test-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root_ = pattern;
        temporary_ = root_ / "temporary";
        tools_ = root_ / "tools";
        fs::create_directories(temporary_);
        fs::create_directories(tools_);
        if (const char* previous = std::getenv("TMPDIR")) previousTemporary_ = previous;
        ::setenv("TMPDIR", temporary_.c_str(), 1);
        descriptorsBefore_ = openDescriptors();
    }

    void TearDown() override {
        EXPECT_EQ(openDescriptors(), descriptorsBefore_) << "a descriptor was left open";
        EXPECT_TRUE(fs::is_empty(temporary_)) << "a working folder was left behind";
        errno = 0;
        EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1) << "a child was left unreaped";
        EXPECT_EQ(errno, ECHILD);
        if (previousTemporary_)
            ::setenv("TMPDIR", previousTemporary_->c_str(), 1);
        else
            ::unsetenv("TMPDIR");
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    // A fake tool: a shell script with the given body.
    std::string tool(const std::string& name, const std::string& body) {
        const auto path = tools_ / name;
        std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
        fs::permissions(path, fs::perms::owner_all);
        return path.string();
    }

    std::string file(const std::string& name, const std::string& bytes) {
        const auto path = root_ / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }

    fs::path root_;
    fs::path temporary_;
    fs::path tools_;
    StopToken token_;

private:
    std::optional<std::string> previousTemporary_;
    std::set<std::string> descriptorsBefore_;
};

std::string failureMessage(const std::string& tool, const std::vector<std::string>& arguments, const StopToken& token,
                           double timeout = 90.0) {
    try {
        command(tool, arguments, token, timeout);
    } catch (const DepotriumError& error) {
        return error.message();
    }
    ADD_FAILURE() << "the command did not fail";
    return {};
}

// A process that has ended and been reaped is gone; an orphan reaped by init
// may stay a zombie for a moment.
bool processIsGone(pid_t pid) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string text;
        if (!std::getline(stat, text)) return true;
        const auto state = text.rfind(") ");
        if (state != std::string::npos && text[state + 2] == 'Z') return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

TEST_F(CommandTest, ReturnsStandardOutputWholeAndPassesArgumentsAsTheyAre) {
    std::string expected;
    for (int i = 0; expected.size() < 6'000'000; ++i) expected += std::to_string(i * 7919L % 100003) + '\n';
    const auto data = file("data", expected);
    const auto cat = tool("cat", "echo ignored >&2\nexec cat \"$1\"");
    EXPECT_EQ(command(cat, {data}, token_), expected);

    const auto echo = tool("echo", "printf '%s|' \"$@\"");
    EXPECT_EQ(command(echo, {"a b", "$HOME", "", "*"}, token_), "a b|$HOME||*|");
}

TEST_F(CommandTest, SilentSuccessGivesEmptyOutput) {
    EXPECT_EQ(command(tool("quiet", "exit 0"), {}, token_), "");
}

TEST_F(CommandTest, NonZeroExitNamesStandardError) {
    EXPECT_EQ(failureMessage(tool("boom", "echo ignored\nprintf boom >&2\nexit 3"), {}, token_),
              "Не удалось собрать системные сведения: boom");
    EXPECT_EQ(failureMessage(tool("mute", "exit 1"), {}, token_), "Не удалось собрать системные сведения: ");
    // Standard error is not trimmed.
    EXPECT_EQ(failureMessage(tool("spaced", "printf ' no disk \\n' >&2\nexit 1"), {}, token_),
              "Не удалось собрать системные сведения:  no disk \n");
    // Death by a signal is a failure too.
    EXPECT_EQ(failureMessage(tool("crash", "printf dying >&2\nkill -KILL $$"), {}, token_),
              "Не удалось собрать системные сведения: dying");
}

TEST_F(CommandTest, StandardErrorIsCutAfterFiveHundredCharactersNeverInsideOne) {
    // 600 two-byte letters: the message keeps exactly 500 of them.
    std::string letters;
    for (int i = 0; i < 600; ++i) letters += "ж";
    const auto cyrillic = file("cyrillic", letters);
    EXPECT_EQ(failureMessage(tool("cyrillic", "cat \"$1\" >&2\nexit 1"), {cyrillic}, token_),
              "Не удалось собрать системные сведения: " + letters.substr(0, 1000));

    // A four-byte character as the 500th is kept whole, the rest dropped.
    const auto emoji = file("emoji", std::string(499, 'a') + "\xF0\x9F\x98\x80" + "bcd");
    EXPECT_EQ(failureMessage(tool("emoji", "cat \"$1\" >&2\nexit 1"), {emoji}, token_),
              "Не удалось собрать системные сведения: " + std::string(499, 'a') + "\xF0\x9F\x98\x80");
}

TEST_F(CommandTest, BinaryGarbageOnStandardErrorGivesEmptyText) {
    const auto garbage = file("garbage", std::string("boom \xFF\xFE\x00\x80 end", 12));
    EXPECT_EQ(failureMessage(tool("garbage", "cat \"$1\" >&2\nexit 2"), {garbage}, token_),
              "Не удалось собрать системные сведения: ");
    // Invalid bytes far past the first 500 characters still make it invalid.
    const auto late = file("late", std::string(5000, 'x') + "\xC0\xAF");
    EXPECT_EQ(failureMessage(tool("late", "cat \"$1\" >&2\nexit 2"), {late}, token_),
              "Не удалось собрать системные сведения: ");
    // A sequence cut off by the end of the file is not valid either.
    const auto cut = file("cut", "ok \xE2\x82");
    EXPECT_EQ(failureMessage(tool("cut", "cat \"$1\" >&2\nexit 2"), {cut}, token_),
              "Не удалось собрать системные сведения: ");
}

TEST_F(CommandTest, TimeLimitIsReportedInWholeSecondsAndTheGroupIsKilled) {
    // The tool leaves a helper that ignores SIGTERM; the tool itself dies of it.
    const auto pidFile = (root_ / "helper.pid").string();
    const auto slow = tool("slow", "(trap '' TERM; exec sleep 30) &\necho $! > \"$1\"\nexec sleep 30");
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(failureMessage(slow, {pidFile}, token_, 0.3),
              "Сбор сведений превысил 0 секунд. Попробуйте повторить опись.");
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(1500));
    std::ifstream pidStream(pidFile);
    pid_t helper = 0;
    ASSERT_TRUE(pidStream >> helper);
    EXPECT_TRUE(processIsGone(helper)) << "the tool's helper outlived the time-out";
}

TEST_F(CommandTest, AChildIgnoringSigtermIsKilledAfterTheGracePeriod) {
    const auto stubborn = tool("stubborn", "trap '' TERM\nwhile :; do sleep 0.01; done");
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(failureMessage(stubborn, {}, token_, 1.5),
              "Сбор сведений превысил 1 секунд. Попробуйте повторить опись.");
    const auto elapsed = std::chrono::steady_clock::now() - started;
    EXPECT_GE(elapsed, std::chrono::milliseconds(3400));  // 1.5 s limit + 2.0 s grace
    EXPECT_LT(elapsed, std::chrono::milliseconds(3500 + 50 + 1000));
}

TEST_F(CommandTest, AStoppedTokenStartsNoChild) {
    const auto marker = root_ / "started";
    token_.cancel();
    EXPECT_THROW(command(tool("marker", "touch \"$1\""), {marker.string()}, token_), CancellationError);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(fs::exists(marker));
}

TEST_F(CommandTest, StoppingWhileTheChildRunsTerminatesIt) {
    const auto sleeper = tool("sleeper", "exec sleep 30");
    std::thread stopper([token = token_] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        token.cancel();
    });
    const auto started = std::chrono::steady_clock::now();
    EXPECT_THROW(command(sleeper, {}, token_, 60), CancellationError);
    stopper.join();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(1000));
}

TEST_F(CommandTest, AToolThatCannotStartIsALaunchErrorNamingIt) {
    const auto missing = (tools_ / "vanished").string();
    try {
        command(missing, {}, token_);
        FAIL() << "the command ran";
    } catch (const LaunchError& error) {
        EXPECT_NE(std::string(error.what()).find(missing), std::string::npos) << error.what();
    }
    const auto plain = file("not-executable", "#!/bin/sh\nexit 0\n");
    EXPECT_THROW(command(plain, {}, token_), LaunchError);
}

TEST_F(CommandTest, AToolThatRemovesItselfStillReturnsItsOutput) {
    const auto vanishing = tool("vanishing", "rm -f \"$0\"\necho still here");
    EXPECT_EQ(command(vanishing, {}, token_), "still here\n");
    EXPECT_FALSE(fs::exists(vanishing));
}

std::set<std::string> lines(const std::string& text) {
    std::set<std::string> found;
    std::size_t start = 0;
    while (start < text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        found.insert(text.substr(start, end - start));
        start = end + 1;
    }
    return found;
}

TEST_F(CommandTest, TheChildGetsOnlyTheStandardDescriptors) {
    // A descriptor of this process without close-on-exec must not reach the
    // tool either. The ls itself opens 3 to read the folder.
    const int leaky = ::dup(STDIN_FILENO);
    ASSERT_GE(leaky, 0);
    const auto output = command(tool("descriptors", "exec ls /proc/self/fd"), {}, token_);
    ::close(leaky);
    EXPECT_EQ(lines(output), (std::set<std::string>{"0", "1", "2", "3"})) << output;
}

TEST_F(CommandTest, TheWorkingFolderIsPrivateAndNamedByAnUpperCaseUUID) {
    const auto output =
        command(tool("where",
                     "folder=$(dirname \"$(readlink /proc/$$/fd/1)\")\nstat -c '%a %n' \"$folder\" \"$folder/stdout\""),
                {}, token_);
    const auto first = output.substr(0, output.find('\n'));
    ASSERT_GT(first.size(), 4u) << output;
    EXPECT_EQ(first.substr(0, 4), "700 ") << output;
    const auto name = fs::path(first.substr(4)).filename().string();
    ASSERT_EQ(name.rfind("nvx-command-", 0), 0u) << output;
    const auto uuid = name.substr(12);
    EXPECT_EQ(uuid.size(), 36u);
    EXPECT_EQ(uuid.find_first_not_of("0123456789ABCDEF-"), std::string::npos) << uuid;
    EXPECT_NE(output.find("\n600 "), std::string::npos) << output;
}

TEST_F(CommandTest, TheTemporaryFolderIsCreatedWhenMissingAndMustBeAFolder) {
    ::setenv("TMPDIR", (temporary_ / "deeper" / "still").c_str(), 1);
    EXPECT_EQ(command(tool("ok", "printf ok"), {}, token_), "ok");
    EXPECT_TRUE(fs::is_empty(temporary_ / "deeper" / "still"));
    fs::remove_all(temporary_ / "deeper");

    ::setenv("TMPDIR", (fs::path(file("blocker", "not a folder")) / "inside").c_str(), 1);
    EXPECT_THROW(command(tool("ok", "printf ok"), {}, token_), FileSystemError);
}

}  // namespace
}  // namespace nvx
