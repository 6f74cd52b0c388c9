// nvx-depot: the inventory server. Stores reports in SQLite and serves them
// back to their receipt key; stops on SIGINT or SIGTERM after the requests in
// flight have been answered, so every acknowledged record is on disk.

#include <httplib.h>
#include <malloc.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "depot/depot_options.h"
#include "depot/depot_service.h"
#include "depot/sqlite_store.h"

namespace {

// One write per line, so lines from concurrent requests never interleave.
void writeLine(FILE* stream, const std::string& line) {
    const std::string text = line + "\n";
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

int serve(const nvx::depot::DepotOptions& options, const sigset_t& stopSignals) {
    std::error_code folderError;
    if (options.database.has_parent_path()) std::filesystem::create_directories(options.database.parent_path(), folderError);
    if (folderError) {
        writeLine(stderr, "nvx-depot: не удалось создать папку «" + options.database.parent_path().string() +
                              "»: " + folderError.message());
        return 1;
    }
    nvx::depot::SqliteStore store(options.database);
    nvx::depot::DepotService service(store, [](const std::string& line) { writeLine(stderr, line); });
    httplib::Server server;
    service.install(server);

    int port = options.port;
    if (port == 0) {
        port = server.bind_to_any_port(options.host);
    } else if (!server.bind_to_port(options.host, port)) {
        port = -1;
    }
    if (port <= 0) {
        writeLine(stderr, "nvx-depot: не удалось занять адрес " + nvx::depot::listeningAddress(options.host, options.port) +
                              " (занят или недоступен).");
        return 1;
    }

    std::atomic<bool> finished{false};
    std::thread listener([&] {
        server.listen_after_bind();
        finished = true;
    });
    while (!server.is_running() && !finished) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    writeLine(stderr, "nvx-depot: база " + options.database.string());
    writeLine(stdout, "nvx-depot слушает " + nvx::depot::listeningAddress(options.host, port));

    // Signals are blocked in every thread and taken here, between checks
    // that the server is still up.
    const timespec slice{0, 200'000'000};
    int signal = -1;
    while (!finished && signal < 0) signal = sigtimedwait(&stopSignals, nullptr, &slice);
    server.stop();  // answers the requests in flight, then returns from listen
    listener.join();
    writeLine(stderr, "nvx-depot остановлен.");
    return signal >= 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    // Block the stop signals before any thread exists, so all threads
    // inherit the mask and only sigtimedwait() ever takes them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    ::signal(SIGPIPE, SIG_IGN);  // a client that hangs up is the request's failure, not ours
    // Every report passes through a few megabyte-sized buffers and a tree of
    // many small objects. By default the allocator maps such memory for each
    // request, hands it back afterwards and faults it in again for the next,
    // which costs about as much as decoding the report. Keep it instead, in
    // a few arenas shared by the workers so the retained memory stays bounded
    // (a body over 32 MiB is refused anyway).
    mallopt(M_ARENA_MAX, 4);
    mallopt(M_MMAP_THRESHOLD, 64 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 64 * 1024 * 1024);

    nvx::depot::DepotOptions options;
    try {
        options = nvx::depot::parseDepotOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const nvx::depot::UsageError& error) {
        writeLine(stderr, std::string("nvx-depot: ") + error.what());
        std::fputs(nvx::depot::depotUsage, stderr);
        return 2;
    }
    if (options.help) {
        std::fputs(nvx::depot::depotUsage, stdout);
        return 0;
    }
    try {
        return serve(options, stopSignals);
    } catch (const std::exception& error) {
        writeLine(stderr, std::string("nvx-depot: ") + error.what());
        return 1;
    }
}
