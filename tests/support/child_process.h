#pragma once

// Runs the project's own binaries from end-to-end tests: one that runs to its
// end with its output captured, and one that serves in the background until
// the test is over.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <mutex>
#include <optional>
#include <regex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace nvx::testing {

struct ProcessResult {
    int status = -1;  // exit status, or 128 + signal
    std::string out;
    std::string err;
};

namespace detail {

inline std::vector<char*> argumentVector(std::vector<std::string>& arguments) {
    std::vector<char*> pointers;
    for (auto& argument : arguments) pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    return pointers;
}

// This process's environment with `extra` ("NAME=value") added or replacing.
inline std::vector<std::string> environmentWith(const std::vector<std::string>& extra) {
    std::vector<std::string> entries;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('=') + 1);
        bool replaced = false;
        for (const auto& added : extra) replaced = replaced || added.rfind(name, 0) == 0;
        if (!replaced) entries.push_back(text);
    }
    entries.insert(entries.end(), extra.begin(), extra.end());
    return entries;
}

inline pid_t spawnWithPipes(std::vector<std::string> arguments, int& outRead, int& errRead,
                            const std::string& workingDirectory, const std::vector<std::string>& extraEnvironment = {},
                            const std::string& inputFile = "/dev/null") {
    int outPipe[2], errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, inputFile.c_str(), O_RDONLY, 0);
    if (!workingDirectory.empty()) posix_spawn_file_actions_addchdir_np(&actions, workingDirectory.c_str());
    auto argv = argumentVector(arguments);
    std::vector<std::string> environment = environmentWith(extraEnvironment);
    auto envp = argumentVector(environment);
    pid_t pid = -1;
    const int error = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    if (error != 0) {
        ::close(outPipe[0]);
        ::close(errPipe[0]);
        throw std::runtime_error(std::string("posix_spawn: ") + std::strerror(error));
    }
    outRead = outPipe[0];
    errRead = errPipe[0];
    return pid;
}

inline int waitStatus(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace detail

// Runs `arguments` (the program path first) to its end, capturing both
// streams; `extraEnvironment` ("NAME=value") is added to this process's.
inline ProcessResult runProcess(std::vector<std::string> arguments, const std::string& workingDirectory = {},
                                const std::vector<std::string>& extraEnvironment = {},
                                const std::string& inputFile = "/dev/null") {
    int outRead = -1, errRead = -1;
    const pid_t pid =
        detail::spawnWithPipes(std::move(arguments), outRead, errRead, workingDirectory, extraEnvironment, inputFile);
    ProcessResult result;
    pollfd fds[2] = {{outRead, POLLIN, 0}, {errRead, POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open = 2;
    char buffer[65536];
    while (open > 0) {
        if (::poll(fds, 2, -1) < 0 && errno != EINTR) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            const ssize_t count = ::read(fds[i].fd, buffer, sizeof buffer);
            if (count > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(count));
            } else if (count == 0 || errno != EINTR) {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    result.status = detail::waitStatus(pid);
    return result;
}

// A server running in the background until destroyed (SIGTERM, then reaped).
class BackgroundProcess {
public:
    // Starts the program and waits until a line of its output matches
    // `readyPattern`; `match` receives that line's first capture group.
    BackgroundProcess(std::vector<std::string> arguments, const std::string& readyPattern,
                      std::chrono::seconds limit = std::chrono::seconds(20)) {
        pid_ = detail::spawnWithPipes(std::move(arguments), outRead_, errRead_, {});
        const std::regex pattern(readyPattern);
        const auto deadline = std::chrono::steady_clock::now() + limit;
        pollfd fds[2] = {{outRead_, POLLIN, 0}, {errRead_, POLLIN, 0}};
        char buffer[4096];
        while (std::chrono::steady_clock::now() < deadline) {
            if (::poll(fds, 2, 100) <= 0) continue;
            for (auto& fd : fds) {
                if (!(fd.revents & (POLLIN | POLLHUP))) continue;
                const ssize_t count = ::read(fd.fd, buffer, sizeof buffer);
                if (count <= 0) {
                    stop();
                    throw std::runtime_error("server ended before it was ready: " + output_);
                }
                output_.append(buffer, static_cast<std::size_t>(count));
                std::smatch found;
                if (std::regex_search(output_, found, pattern)) {
                    match_ = found.size() > 1 ? found[1].str() : found[0].str();
                    // Keep reading so that a chatty server never blocks on a full pipe.
                    drainer_ = std::thread([this] { drain(); });
                    return;
                }
            }
        }
        stop();
        throw std::runtime_error("server not ready in time: " + output_);
    }
    ~BackgroundProcess() { stop(); }
    BackgroundProcess(const BackgroundProcess&) = delete;
    BackgroundProcess& operator=(const BackgroundProcess&) = delete;

    const std::string& match() const { return match_; }
    pid_t pid() const { return pid_; }

    void sendSignal(int signal) const {
        if (pid_ > 0) ::kill(pid_, signal);
    }

    // Waits until the output so far (both streams) matches `pattern`.
    bool waitForOutput(const std::string& pattern, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        const std::regex expected(pattern);
        const auto deadline = std::chrono::steady_clock::now() + limit;
        for (;;) {
            {
                std::lock_guard lock(outputLock_);
                if (std::regex_search(output_, expected)) return true;
            }
            if (std::chrono::steady_clock::now() >= deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    std::string output() {
        std::lock_guard lock(outputLock_);
        return output_;
    }

    // Asks the server to end (SIGTERM unless told) and returns its exit status.
    int stop(int signal = SIGTERM) {
        if (pid_ > 0) {
            ::kill(pid_, signal);
            status_ = detail::waitStatus(pid_);
            pid_ = -1;
        }
        if (drainer_.joinable()) drainer_.join();
        for (int* fd : {&outRead_, &errRead_})
            if (*fd >= 0) {
                ::close(*fd);
                *fd = -1;
            }
        return status_;
    }

private:
    void drain() {
        pollfd fds[2] = {{outRead_, POLLIN, 0}, {errRead_, POLLIN, 0}};
        char buffer[4096];
        int open = 2;
        while (open > 0) {
            if (::poll(fds, 2, -1) < 0 && errno != EINTR) return;
            for (auto& fd : fds) {
                if (fd.fd < 0 || !(fd.revents & (POLLIN | POLLHUP | POLLERR))) continue;
                const ssize_t count = ::read(fd.fd, buffer, sizeof buffer);
                if (count <= 0) {
                    fd.fd = -1;  // closed by stop() after the join
                    --open;
                } else {
                    std::lock_guard lock(outputLock_);
                    output_.append(buffer, static_cast<std::size_t>(count));
                }
            }
        }
    }

    std::thread drainer_;
    pid_t pid_ = -1;
    int outRead_ = -1, errRead_ = -1;
    int status_ = -1;
    std::mutex outputLock_;
    std::string output_;
    std::string match_;
};

}  // namespace nvx::testing
