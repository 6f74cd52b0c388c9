#include "depot/postgres_pool.h"

#include "depot/depot_store.h"

namespace nvx::depot {
namespace {

// Where the URI points, read from its parsed parameters, so that messages
// and logs never repeat a password written into it.
std::string describedTarget(const std::string& uri) {
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(uri.c_str(), &error);
    if (options == nullptr) {
        std::string detail = error != nullptr ? error : "нет памяти";
        PQfreemem(error);
        while (!detail.empty() && (detail.back() == '\n' || detail.back() == ' ')) detail.pop_back();
        throw StorageError("Адрес базы PostgreSQL не разобран: " + detail + ".");
    }
    std::string host, port, database;
    for (PQconninfoOption* option = options; option->keyword != nullptr; ++option) {
        if (option->val == nullptr) continue;
        const std::string keyword = option->keyword;
        if (keyword == "host" || (keyword == "hostaddr" && host.empty())) host = option->val;
        if (keyword == "port") port = option->val;
        if (keyword == "dbname") database = option->val;
    }
    PQconninfoFree(options);
    std::string target = host.empty() ? "локальный сокет" : host;
    if (!port.empty()) target += ":" + port;
    return target + "/" + (database.empty() ? "(база по имени пользователя)" : database);
}

}  // namespace

std::string postgresMessage(PGconn* connection) {
    std::string message = connection != nullptr ? PQerrorMessage(connection) : "нет памяти";
    for (char& c : message)
        if (c == '\n' || c == '\r' || c == '\t') c = ' ';
    while (!message.empty() && message.back() == ' ') message.pop_back();
    return message;
}

PostgresPool::PostgresPool(std::string uri, std::size_t maximumConnections)
    : uri_(std::move(uri)), target_(describedTarget(uri_)), maximumConnections_(maximumConnections) {}

PostgresPool::~PostgresPool() = default;

std::unique_ptr<PostgresConnection> PostgresPool::open() {
    // Later values win over earlier ones, so a connect_timeout in the URI
    // overrides this default. Keepalives notice a server that vanished
    // without closing the connection.
    const char* keywords[] = {"connect_timeout",
                              "keepalives_idle",
                              "keepalives_interval",
                              "keepalives_count",
                              "application_name",
                              "dbname",
                              nullptr};
    const char* values[] = {"5", "30", "10", "3", "nvx-depot", uri_.c_str(), nullptr};
    auto connection = std::make_unique<PostgresConnection>(PQconnectdbParams(keywords, values, 1));
    if (connection->handle == nullptr || PQstatus(connection->handle) != CONNECTION_OK) {
        throw StorageUnavailable("Склад не смог подключиться к базе PostgreSQL " + target_ + ": " +
                                 postgresMessage(connection->handle) + ".");
    }
    // Notices ("table already exists, skipping") are not for the depot's log.
    PQsetNoticeProcessor(
        connection->handle, [](void*, const char*) {}, nullptr);
    return connection;
}

PostgresPool::Lease PostgresPool::borrow() {
    std::unique_lock lock(lock_);
    connectionFreed_.wait(lock, [this] { return !idle_.empty() || open_ < maximumConnections_; });
    if (!idle_.empty()) {
        std::unique_ptr<PostgresConnection> connection = std::move(idle_.back());
        idle_.pop_back();
        return Lease(*this, std::move(connection), false);
    }
    ++open_;  // the slot is taken while connecting, outside the lock
    lock.unlock();
    try {
        return Lease(*this, open(), true);
    } catch (...) {
        lock.lock();
        --open_;
        connectionFreed_.notify_one();
        throw;
    }
}

void PostgresPool::giveBack(std::unique_ptr<PostgresConnection> connection) {
    if (connection && connection->unusable) connection.reset();
    if (connection && PQstatus(connection->handle) == CONNECTION_OK &&
        PQtransactionStatus(connection->handle) != PQTRANS_IDLE) {
        // A request that failed half-way left its transaction open.
        PQclear(PQexec(connection->handle, "ROLLBACK"));
    }
    const bool reusable = connection && PQstatus(connection->handle) == CONNECTION_OK &&
                          PQtransactionStatus(connection->handle) == PQTRANS_IDLE;
    std::lock_guard lock(lock_);
    if (reusable) {
        idle_.push_back(std::move(connection));
    } else {
        connection.reset();
        --open_;
    }
    connectionFreed_.notify_one();
}

void PostgresPool::discardIdle() {
    std::vector<std::unique_ptr<PostgresConnection>> discarded;
    {
        std::lock_guard lock(lock_);
        discarded.swap(idle_);
        open_ -= discarded.size();
        connectionFreed_.notify_all();
    }
}

}  // namespace nvx::depot
