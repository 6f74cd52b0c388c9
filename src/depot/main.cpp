// nvx-depot: the inventory server. Stores reports in SQLite or PostgreSQL
// (see open_depot_store.h) and serves them back to their receipt keys, over
// HTTPS when given a certificate. SIGHUP reads the certificate, its key and
// the viewers file again without closing the listening socket (certificate
// renewals); SIGINT or SIGTERM stop it after the requests being handled have
// been answered, so every acknowledged record is committed.

#include <malloc.h>
#include <pthread.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "depot/depot_options.h"
#include "depot/depot_server.h"
#include "depot/depot_service.h"
#include "depot/password_hash.h"
#include "depot/open_depot_store.h"
#include "depot/tls_credentials.h"
#include "depot/viewers.h"

namespace {

using namespace nvx::depot;

// One write per line, so lines from concurrent requests never interleave.
void writeLine(FILE* stream, const std::string& line) {
    const std::string text = line + "\n";
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

// Reads one line from standard input and prints its hash. On a terminal the
// typed password is not echoed.
int printPasswordHash() {
    const bool terminal = ::isatty(STDIN_FILENO) == 1;
    termios saved{};
    if (terminal && ::tcgetattr(STDIN_FILENO, &saved) == 0) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
        std::fputs("Пароль зрителя: ", stderr);
    }
    std::string password;
    const bool read = static_cast<bool>(std::getline(std::cin, password));
    if (terminal) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::fputs("\n", stderr);
    }
    if (!password.empty() && password.back() == '\r') password.pop_back();
    if (!read || password.empty()) {
        writeLine(stderr, "nvx-depot: пароль пуст; хеш не создан.");
        return 2;
    }
    writeLine(stdout, hashPassword(password));
    return 0;
}

// Reads certificate, key and viewers again; a part that fails keeps what it had.
void reload(TLSCredentials* tls, Viewers* viewers) {
    if (tls == nullptr && viewers == nullptr) {
        writeLine(stderr, "nvx-depot: SIGHUP: перечитывать нечего (нет ни --tls-cert, ни --viewers).");
        return;
    }
    if (tls != nullptr) {
        try {
            tls->reload();
            writeLine(stderr, "nvx-depot: сертификат и ключ перечитаны; новые соединения получат их.");
        } catch (const std::exception& error) {
            writeLine(stderr, std::string("nvx-depot: сертификат не перечитан, остаётся прежний. ") + error.what());
        }
    }
    if (viewers != nullptr) {
        try {
            viewers->reload();
            writeLine(stderr, "nvx-depot: файл зрителей перечитан, зрителей: " +
                                  std::to_string(viewers->current()->size()) + ".");
        } catch (const std::exception& error) {
            writeLine(stderr, std::string("nvx-depot: файл зрителей не перечитан, остаётся прежний. ") + error.what());
        }
    }
}

int serve(const DepotOptions& options, const sigset_t& signals) {
    std::unique_ptr<TLSCredentials> tls;
    if (options.secure()) tls = std::make_unique<TLSCredentials>(options.tlsCertificate, options.tlsKey);
    std::unique_ptr<Viewers> viewers;
    if (!options.viewers.empty()) viewers = std::make_unique<Viewers>(options.viewers);

    // The database first: a depot that cannot store must not open its port.
    const OpenedStore opened = openDepotStore(options.database.string());
    DepotService service(
        *opened.store, [](const std::string& line) { writeLine(stderr, line); }, DepotService::utcNow,
        viewers ? DepotService::ViewerSource([&viewers] { return viewers->current(); }) : nullptr);
    DepotServer server(ConnectionLimits{},
                       tls ? DepotServer::TLSContextSource([&tls] { return tls->current(); }) : nullptr);
    service.install(server);
    const int port = server.bindAndListen(options.host, options.port);
    server.start();
    writeLine(stderr, "nvx-depot: база " + opened.description);
    if (viewers) writeLine(stderr, "nvx-depot: зрителей: " + std::to_string(viewers->current()->size()));
    writeLine(stdout, "nvx-depot слушает " + listeningAddress(options.host, port, options.secure()));

    // Signals are blocked in every thread and taken here.
    for (;;) {
        const int signal = sigwaitinfo(&signals, nullptr);
        if (signal == SIGHUP) {
            reload(tls.get(), viewers.get());
            continue;
        }
        if (signal == SIGINT || signal == SIGTERM) break;
    }
    server.stop();  // answers the requests being handled, then returns
    writeLine(stderr, "nvx-depot остановлен.");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // Block the signals before any thread exists, so all threads inherit the
    // mask and only sigwaitinfo() ever takes them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
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

    DepotOptions options;
    try {
        options = parseDepotOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const UsageError& error) {
        writeLine(stderr, std::string("nvx-depot: ") + error.what());
        std::fputs(depotUsage, stderr);
        return 2;
    }
    if (options.help) {
        std::fputs(depotUsage, stdout);
        return 0;
    }
    try {
        if (options.hashPassword) return printPasswordHash();
        return serve(options, signals);
    } catch (const std::exception& error) {
        writeLine(stderr, std::string("nvx-depot: ") + error.what());
        return 1;
    }
}
