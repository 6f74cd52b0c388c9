#pragma once

// A PostgreSQL server of a test program's own: a fresh cluster in a
// temporary folder, listening on a free loopback port and on a socket in
// that folder, run as the `postgres` system user when the tests run as root
// (the server refuses to run as root). One server per test program, started
// before the first test of a suite whose name contains "Postgres" and
// stopped (fast shutdown) with its folder removed when the program ends,
// whatever the tests' outcome. Programs running side by side (ctest -j) each
// have their own folder and port.

#include <sys/types.h>

#include <filesystem>
#include <string>

namespace nvx::testing {

class PrivatePostgres {
public:
    // initdb, then the server; throws std::runtime_error with the server's
    // own output when either fails.
    PrivatePostgres();
    ~PrivatePostgres();
    PrivatePostgres(const PrivatePostgres&) = delete;
    PrivatePostgres& operator=(const PrivatePostgres&) = delete;

    // A new, empty database on the server; its URI.
    std::string freshDatabase();
    // The URI of a database on this server.
    std::string uri(const std::string& database) const;
    int port() const { return port_; }
    // The server's main process (its connections are its children).
    pid_t serverProcess() const { return server_; }

    // Stops the server (fast shutdown: connections are cut) and starts it
    // again on the same port with the same data, for tests of lost
    // connections.
    void stop();
    void start();

private:
    // Starts the server on port_ and waits until it accepts connections;
    // false when it ended first because the port was taken meanwhile.
    bool startOnPort();
    std::string serverLog() const;
    // initdb into `folder`/data.
    void initializeCluster(const std::filesystem::path& folder) const;
    // The cluster every server of this build tree starts from.
    void makeTemplate(const std::filesystem::path& cluster) const;

    std::filesystem::path folder_;
    int port_ = 0;
    pid_t server_ = -1;
    int databases_ = 0;
    uid_t user_ = 0;
    gid_t group_ = 0;
    bool switchUser_ = false;
};

// The test program's server (private_postgres_environment.cpp). Only tests
// of a suite whose name contains "Postgres" may ask; a server that failed
// to start fails them.
PrivatePostgres& privatePostgres();

}  // namespace nvx::testing
