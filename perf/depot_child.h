#pragma once

// nvx-depot as a child process of a perf program: started on a loopback
// port, its announced address read back, stopped (or killed) and always
// reaped.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace nvx::perf {

class DepotChild {
public:
    // `options` follow "--db <database>"; "--listen 127.0.0.1:0" comes first
    // and a later --listen replaces it.
    DepotChild(const std::filesystem::path& database, std::vector<std::string> options = {}) {
        int channel[2];
        if (pipe2(channel, O_CLOEXEC) != 0) throw std::runtime_error("pipe2");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, channel[1], STDOUT_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        std::vector<std::string> arguments = {NVX_DEPOT_BINARY, "--listen", "127.0.0.1:0", "--db", database.string()};
        arguments.insert(arguments.end(), options.begin(), options.end());
        std::vector<char*> argv;
        for (auto& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        const int spawned = posix_spawn(&pid_, NVX_DEPOT_BINARY, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(channel[1]);
        if (spawned != 0) {
            ::close(channel[0]);
            pid_ = -1;
            throw std::runtime_error("nvx-depot не запустился");
        }
        FILE* output = fdopen(channel[0], "r");
        char line[256] = {};
        const bool read = std::fgets(line, sizeof line, output) != nullptr;
        std::fclose(output);
        std::cmatch match;
        if (!read || !std::regex_search(line, match, std::regex(R"(слушает (https?://\S+))"))) {
            stop(SIGKILL);
            throw std::runtime_error("nvx-depot не сообщил адрес");
        }
        address_ = match[1].str();
    }
    ~DepotChild() {
        if (pid_ > 0) stop(SIGKILL);
    }
    DepotChild(const DepotChild&) = delete;
    DepotChild& operator=(const DepotChild&) = delete;

    const std::string& address() const { return address_; }
    std::string port() const { return address_.substr(address_.rfind(':') + 1); }
    pid_t pid() const { return pid_; }

    // Sends the signal and reaps; the exit status, or -1 after a signal.
    int stop(int signal) {
        ::kill(pid_, signal);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    std::string address_;
};

}  // namespace nvx::perf
