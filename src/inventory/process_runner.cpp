#include "inventory/process_runner.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/errors.h"
#include "core/files.h"
#include "core/random_id.h"
#include "inventory/process_wait.h"
#include "inventory/utf8_prefix.h"

extern char** environ;

namespace nvx {

namespace {

constexpr double pollIntervalSeconds = 0.05;
constexpr double gracePeriodSeconds = 2.0;
constexpr double graceIntervalSeconds = 0.02;
constexpr std::size_t stderrCharacterLimit = 500;

[[noreturn]] void throwFolderError(const char* action, const std::filesystem::path& path, int errorNumber) {
    throw FileSystemError(std::string("Не удалось ") + action + " «" + path.string() +
                          "»: " + systemErrorText(errorNumber) + ".");
}

// The system's temporary folder, as the environment names it. Unlike
// std::filesystem::temp_directory_path this does not insist that the folder
// exists yet: it is created with its parents.
std::filesystem::path temporaryFolder() {
    for (const char* name : {"TMPDIR", "TMP", "TEMP", "TEMPDIR"}) {
        const char* value = std::getenv(name);
        if (value && *value) return value;
    }
    return "/tmp";
}

// The private working folder of one call with its two output files. Made
// 0700 and its files 0600: the raw tool output holds serial numbers that
// other users of the machine must not read while the tool runs.
class CommandFolder {
public:
    CommandFolder() {
        const auto temporary = temporaryFolder();
        std::error_code error;
        std::filesystem::create_directories(temporary, error);
        if (error) throwFolderError("создать папку", temporary, error.value());
        path_ = temporary / ("nvx-command-" + randomUUID(UUIDCase::upper));
        // A plain mkdir, so that a folder someone else made under this name
        // is never taken over.
        if (::mkdir(path_.c_str(), 0700) != 0) throwFolderError("создать папку", path_, errno);
        stdout_ = openOutput("stdout");
        stderr_ = openOutput("stderr");
    }

    ~CommandFolder() {
        closeOutputs();
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }

    CommandFolder(const CommandFolder&) = delete;
    CommandFolder& operator=(const CommandFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    int standardOutput() const { return stdout_; }
    int standardError() const { return stderr_; }

private:
    int openOutput(const char* name) {
        const auto file = path_ / name;
        const int descriptor = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (descriptor < 0) {
            const int errorNumber = errno;
            closeOutputs();
            std::error_code ignored;
            std::filesystem::remove_all(path_, ignored);
            throwFolderError("создать файл", file, errorNumber);
        }
        return descriptor;
    }

    void closeOutputs() {
        if (stdout_ >= 0) ::close(stdout_);
        if (stderr_ >= 0) ::close(stderr_);
        stdout_ = stderr_ = -1;
    }

    std::filesystem::path path_;
    int stdout_ = -1;
    int stderr_ = -1;
};

// The tool starts with the usual signal handling: whatever this process or the
// calling thread ignores or blocks (SIGPIPE, a nohup'ed SIGHUP, a mask set for
// a worker thread) must not make the tool deaf to SIGTERM or its pipes odd.
void resetSignals(posix_spawnattr_t& attributes) {
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int signal : {SIGHUP, SIGINT, SIGQUIT, SIGPIPE, SIGALRM, SIGTERM, SIGCHLD, SIGUSR1, SIGUSR2})
        sigaddset(&defaults, signal);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    sigset_t unblocked;
    sigemptyset(&unblocked);
    posix_spawnattr_setsigmask(&attributes, &unblocked);
}

// Starts the tool in a process group of its own, with its output going to the
// two files and no other descriptor of ours.
pid_t launch(const std::string& tool, const std::vector<std::string>& arguments, const CommandFolder& folder) {
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 2);
    argv.push_back(const_cast<char*>(tool.c_str()));
    for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_adddup2(&actions, folder.standardOutput(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, folder.standardError(), STDERR_FILENO);
    short flags = POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
    inheritOnlyStandardDescriptors(actions, flags);
    posix_spawnattr_setflags(&attributes, flags);
    posix_spawnattr_setpgroup(&attributes, 0);
    resetSignals(attributes);

    pid_t child = -1;
    const int result = ::posix_spawn(&child, tool.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (result != 0) {
        throw LaunchError("Не удалось запустить «" + tool + "»: " + systemErrorText(result) + ".");
    }
    return child;
}

// A started child and its process group. Whatever way the call leaves, the
// group is killed and the child reaped before the folder goes away.
class RunningChild {
public:
    explicit RunningChild(pid_t pid) : pid_(pid), watch_(pid) {}
    ~RunningChild() {
        if (!reaped_) {
            send(SIGKILL);
            finish();
        }
    }
    RunningChild(const RunningChild&) = delete;
    RunningChild& operator=(const RunningChild&) = delete;

    bool hasExited() { return watch_.waitForExit(0); }
    bool waitForExit(double seconds) { return watch_.waitForExit(seconds); }

    // To the whole group, and to the child itself in case it left the group.
    // The child is not reaped yet, so its identifiers still name it.
    void send(int number) const {
        ::kill(-pid_, number);
        ::kill(pid_, number);
    }

    // Kills what the tool left behind in its group, then reaps the child
    // (waiting for it to end). Returns the wait status.
    int finish() {
        ::kill(-pid_, SIGKILL);
        int status = 0;
        for (;;) {
            if (::waitpid(pid_, &status, 0) == pid_) break;
            if (errno == EINTR) continue;
            // ECHILD: someone else reaped it (SIGCHLD ignored); the outcome
            // is unknown, so it cannot count as success.
            status = 127 << 8;
            break;
        }
        reaped_ = true;
        return status;
    }

private:
    pid_t pid_;
    ChildExitWatch watch_;
    bool reaped_ = false;
};

// SIGTERM, up to 2 s for the child to end, then SIGKILL.
void terminate(RunningChild& child) {
    child.send(SIGTERM);
    const double graceEnd = monotonic() + gracePeriodSeconds;
    while (!child.hasExited() && monotonic() < graceEnd) child.waitForExit(graceIntervalSeconds);
    if (!child.hasExited()) child.send(SIGKILL);
}

// The first characters of standard error, or empty text when it cannot be
// read or is not valid UTF-8. Read in pieces, so a tool that wrote gigabytes
// costs time but not memory.
std::string standardErrorExcerpt(const std::filesystem::path& file) {
    const int descriptor = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) return {};
    Utf8Prefix prefix(stderrCharacterLimit);
    std::string buffer(1 << 16, '\0');
    bool readable = true;
    for (;;) {
        const ssize_t count = ::read(descriptor, buffer.data(), buffer.size());
        if (count < 0) {
            if (errno == EINTR) continue;
            readable = false;
            break;
        }
        if (count == 0) break;
        if (!prefix.append(std::string_view(buffer.data(), static_cast<std::size_t>(count)))) break;
    }
    ::close(descriptor);
    return readable && prefix.valid() ? prefix.text() : std::string();
}

// The limit as whole seconds, the fraction dropped.
std::string wholeSeconds(double seconds) {
    char text[64];
    std::snprintf(text, sizeof text, "%.0f", std::trunc(seconds) + 0.0);
    return text;
}

}  // namespace

bool childHasExited(pid_t child) {
    siginfo_t info{};
    for (;;) {
        if (::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOHANG | WNOWAIT) == 0) return info.si_pid != 0;
        // ECHILD: there is nothing left to wait for.
        if (errno != EINTR) return true;
    }
}

bool pollForChildExit(pid_t child, double seconds) {
    const double deadline = monotonic() + seconds;
    for (;;) {
        if (childHasExited(child)) return true;
        const double left = deadline - monotonic();
        if (left <= 0) return false;
        std::this_thread::sleep_for(std::chrono::duration<double>(left < 0.005 ? left : 0.005));
    }
}

std::string command(const std::string& tool, const std::vector<std::string>& arguments, const StopToken& token,
                    double timeoutSeconds) {
    // NaN would never compare past the deadline and the call would never end.
    if (std::isnan(timeoutSeconds)) timeoutSeconds = 0;

    CommandFolder folder;
    token.check();
    RunningChild child(launch(tool, arguments, folder));

    const double deadline = monotonic() + timeoutSeconds;
    bool terminated = false;
    while (!child.hasExited()) {
        if (token.isCancelled() || monotonic() > deadline) {
            terminate(child);
            terminated = true;
            break;
        }
        child.waitForExit(pollIntervalSeconds);
    }
    const int status = child.finish();

    if (terminated) {
        token.check();
        throw DepotriumError("Сбор сведений превысил " + wholeSeconds(timeoutSeconds) +
                             " секунд. Попробуйте повторить опись.");
    }
    token.check();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw DepotriumError("Не удалось собрать системные сведения: " +
                             standardErrorExcerpt(folder.path() / "stderr"));
    }
    return readWholeFile(folder.path() / "stdout");
}

}  // namespace nvx
