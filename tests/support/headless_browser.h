#pragma once

// Debian's chromium, headless, for tests that look at the depot's pages as a
// browser renders them. Every run gets a private profile folder and its own
// process group; the whole group is killed and the leader reaped on every way
// out (done, time-out, exception), so no browser process outlives a call.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/scratch_folder.h"

extern char** environ;

namespace nvx::testing {

class HeadlessBrowser {
public:
    explicit HeadlessBrowser(std::chrono::seconds limit = std::chrono::seconds(60)) : limit_(limit) {}

    // The DOM after the page loaded, as --dump-dom serialises it.
    std::string dumpDOM(const std::string& url) { return run({"--dump-dom", url}); }

    // A PNG of the page at a desktop width, tall enough for a long page.
    void screenshot(const std::string& url, const std::filesystem::path& file, int width = 1280, int height = 1800) {
        std::filesystem::create_directories(file.parent_path());
        std::filesystem::remove(file);
        run({"--screenshot=" + file.string(), "--window-size=" + std::to_string(width) + "," + std::to_string(height),
             "--hide-scrollbars", url});
        if (!std::filesystem::exists(file)) throw std::runtime_error("chromium wrote no screenshot of " + url);
    }

private:
    std::string run(const std::vector<std::string>& extra) {
        ScratchFolder profile;
        std::vector<std::string> arguments = {"/usr/bin/chromium",
                                              "--headless",
                                              "--no-sandbox",
                                              "--disable-gpu",
                                              "--disable-dev-shm-usage",
                                              "--no-first-run",
                                              "--disable-extensions",
                                              "--disable-background-networking",
                                              "--disable-component-update",
                                              "--disable-sync",
                                              "--lang=ru",
                                              "--user-data-dir=" + (profile.path() / "profile").string()};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        std::vector<char*> argv;
        for (auto& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);

        int output[2];
        if (::pipe2(output, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);  // a group of its own, led by the browser
        pid_t pid = -1;
        const int error = ::posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
        ::close(output[1]);
        if (error != 0) {
            ::close(output[0]);
            throw std::runtime_error(std::string("chromium did not start: ") + std::strerror(error));
        }

        std::string text;
        bool timedOut = false;
        const auto deadline = std::chrono::steady_clock::now() + limit_;
        char buffer[65536];
        ::fcntl(output[0], F_SETFL, ::fcntl(output[0], F_GETFL) | O_NONBLOCK);
        auto drain = [&] {
            for (;;) {
                const ssize_t count = ::read(output[0], buffer, sizeof buffer);
                if (count > 0) {
                    text.append(buffer, static_cast<std::size_t>(count));
                } else if (count < 0 && errno == EINTR) {
                    continue;
                } else {
                    return;  // nothing more now (or ever)
                }
            }
        };
        // The browser's helpers inherit its output and may keep it open, so
        // the end is the browser's own exit (seen without reaping it, so its
        // group id cannot be reused before the group is killed).
        for (;;) {
            pollfd descriptor{output[0], POLLIN, 0};
            ::poll(&descriptor, 1, 100);
            drain();
            siginfo_t info{};
            if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid) {
                drain();
                break;
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                timedOut = true;
                break;
            }
        }
        ::close(output[0]);
        // Helpers (zygote, crash handler) may still run: the group goes
        // whatever happened, and then the leader is reaped.
        ::kill(-pid, SIGKILL);
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        if (timedOut) throw std::runtime_error("chromium did not finish in time: " + extra.back());
        return text;
    }

    std::chrono::seconds limit_;
};

}  // namespace nvx::testing
