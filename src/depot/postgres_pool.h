#pragma once

#include <libpq-fe.h>

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace nvx::depot {

// One libpq connection and what has been set up on it.
struct PostgresConnection {
    explicit PostgresConnection(PGconn* handle) : handle(handle) {}
    ~PostgresConnection() { PQfinish(handle); }
    PostgresConnection(const PostgresConnection&) = delete;
    PostgresConnection& operator=(const PostgresConnection&) = delete;

    PGconn* handle;
    bool prepared = false;  // the store's statements are prepared on it
    bool unusable = false;  // left in a state no later request should meet: closed when given back
};

// Connections to one PostgreSQL database shared by the depot's threads: a
// libpq connection serves one thread at a time, so each request borrows one
// and gives it back. At most `maximumConnections` are open; further
// borrowers wait. A connection that broke is closed instead of being kept,
// so the next borrower connects afresh.
class PostgresPool {
public:
    // `uri`: any libpq connection string or URI. A connection attempt gives
    // up after 5 seconds unless the URI sets connect_timeout itself.
    PostgresPool(std::string uri, std::size_t maximumConnections);
    ~PostgresPool();
    PostgresPool(const PostgresPool&) = delete;
    PostgresPool& operator=(const PostgresPool&) = delete;

    class Lease {
    public:
        Lease(PostgresPool& pool, std::unique_ptr<PostgresConnection> connection, bool fresh)
            : pool_(pool), connection_(std::move(connection)), fresh_(fresh) {}
        ~Lease() { pool_.giveBack(std::move(connection_)); }
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;

        PostgresConnection& operator*() const { return *connection_; }
        PostgresConnection* operator->() const { return connection_.get(); }
        // Opened for this lease rather than taken from the idle ones.
        bool fresh() const { return fresh_; }

    private:
        PostgresPool& pool_;
        std::unique_ptr<PostgresConnection> connection_;
        bool fresh_;
    };

    // An idle connection or a new one. Throws StorageUnavailable when the
    // database cannot be reached.
    Lease borrow();
    // Closes the idle connections: after one broke, the others most likely
    // broke with it (the server restarted), and each would fail a request.
    void discardIdle();
    // "host:port/database" for messages; never the password.
    const std::string& target() const { return target_; }

private:
    std::unique_ptr<PostgresConnection> open();
    void giveBack(std::unique_ptr<PostgresConnection> connection);

    std::string uri_;
    std::string target_;
    std::size_t maximumConnections_;
    std::mutex lock_;
    std::condition_variable connectionFreed_;
    std::vector<std::unique_ptr<PostgresConnection>> idle_;
    std::size_t open_ = 0;  // idle and lent
};

// libpq's message as one line without the trailing newline.
std::string postgresMessage(PGconn* connection);

}  // namespace nvx::depot
