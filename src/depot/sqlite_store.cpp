#include "depot/sqlite_store.h"

#include <cstring>
#include <vector>

namespace nvx::depot {
namespace {

// Readers kept open beyond this many are closed after use.
constexpr std::size_t maximumIdleReaders = 16;

[[noreturn]] void fail(sqlite3* connection, const std::string& doing) {
    const char* detail = connection != nullptr ? sqlite3_errmsg(connection) : "нет памяти";
    throw StorageError("Склад не смог " + doing + ": " + detail + ".");
}

void execute(sqlite3* connection, const char* sql, const std::string& doing) {
    if (sqlite3_exec(connection, sql, nullptr, nullptr, nullptr) != SQLITE_OK) fail(connection, doing);
}

class Statement {
public:
    Statement(sqlite3* connection, const char* sql, std::string doing)
        : connection_(connection), doing_(std::move(doing)) {
        if (sqlite3_prepare_v2(connection, sql, -1, &statement_, nullptr) != SQLITE_OK) fail(connection_, doing_);
    }
    ~Statement() { sqlite3_finalize(statement_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    void bind(int index, std::string_view text) {
        if (sqlite3_bind_text64(statement_, index, text.data(), text.size(), SQLITE_STATIC, SQLITE_UTF8) != SQLITE_OK)
            fail(connection_, doing_);
    }
    void bindBlob(int index, const void* data, std::size_t size) {
        if (sqlite3_bind_blob64(statement_, index, size == 0 ? "" : data, size, SQLITE_STATIC) != SQLITE_OK)
            fail(connection_, doing_);
    }
    void bind(int index, std::int64_t value) {
        if (sqlite3_bind_int64(statement_, index, value) != SQLITE_OK) fail(connection_, doing_);
    }

    // True while there is a row to read.
    bool step() {
        const int result = sqlite3_step(statement_);
        if (result == SQLITE_ROW) return true;
        if (result == SQLITE_DONE) return false;
        fail(connection_, doing_);
    }

    std::string text(int column) const {
        const void* data = sqlite3_column_blob(statement_, column);
        const int size = sqlite3_column_bytes(statement_, column);
        return data == nullptr ? std::string() : std::string(static_cast<const char*>(data), size);
    }
    std::int64_t integer(int column) const { return sqlite3_column_int64(statement_, column); }
    KeyDigest digest(int column) const {
        KeyDigest digest{};
        const void* data = sqlite3_column_blob(statement_, column);
        if (data != nullptr && sqlite3_column_bytes(statement_, column) == static_cast<int>(digest.size())) {
            std::memcpy(digest.data(), data, digest.size());
        }
        return digest;
    }

private:
    sqlite3* connection_;
    sqlite3_stmt* statement_ = nullptr;
    std::string doing_;
};

// Rolls an open transaction back unless it was committed.
class Transaction {
public:
    explicit Transaction(sqlite3* connection) : connection_(connection) {
        // IMMEDIATE takes the write lock now, so the look-up and the insert
        // below see the same database even with a second server on the file.
        execute(connection_, "BEGIN IMMEDIATE", "начать запись");
    }
    ~Transaction() {
        if (!finished_) sqlite3_exec(connection_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    void commit() {
        execute(connection_, "COMMIT", "записать опись на диск");
        finished_ = true;
    }

private:
    sqlite3* connection_;
    bool finished_ = false;
};

// The layout, in steps; a file records the last step applied in
// `schema_version` (PostgreSQL's tables follow the same numbers). Step 1 is
// the first layout (one receipt key per record, in `runs`); step 2 keeps
// every key of a record in `receipt_keys`. The first key also stays in
// `runs`, so an older depot can still read a file this one wrote.
struct Migration {
    std::int64_t version;
    std::vector<const char*> statements;
};
const std::vector<Migration>& migrations() {
    static const std::vector<Migration> steps = {
        {1,
         {"CREATE TABLE runs ("
          " sequence INTEGER PRIMARY KEY,"
          " id TEXT NOT NULL UNIQUE,"
          " key_sha256 BLOB NOT NULL,"
          " body BLOB NOT NULL,"
          " received_at TEXT NOT NULL,"
          " name TEXT NOT NULL,"
          " owner TEXT NOT NULL,"
          " location TEXT NOT NULL,"
          " model TEXT NOT NULL)"}},
        {2,
         {"CREATE TABLE receipt_keys ("
          " id TEXT NOT NULL,"
          " key_sha256 BLOB NOT NULL,"
          " PRIMARY KEY (id, key_sha256)) WITHOUT ROWID",
          "INSERT OR IGNORE INTO receipt_keys (id, key_sha256) SELECT id, key_sha256 FROM runs"}},
    };
    return steps;
}

// Depots from before the version table kept their layout in SQLite's
// user_version (0: step 1, 1: step 2) and refuse a file whose user_version
// is above 1. It stays at 1 while older depots can still use the file.
constexpr std::int64_t olderDepotsVersion = 1;

bool hasTable(sqlite3* connection, const char* name) {
    Statement query(connection, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?1",
                    "прочитать список таблиц");
    query.bind(1, std::string_view(name));
    return query.step();
}

}  // namespace

SqliteStore::SqliteStore(const std::filesystem::path& file) : file_(file) {
    writer_ = openConnection();
    try {
        createOrUpgradeTables();
    } catch (...) {
        sqlite3_close_v2(writer_);
        throw;
    }
}

void SqliteStore::createOrUpgradeTables() {
    // WAL lets readers go on while a report is being written. With
    // synchronous=FULL every commit is flushed to the device before the
    // server answers: a client deletes its local copy once we confirm, so
    // an acknowledged record must survive a power cut too, not only a
    // crash of this process.
    execute(writer_, "PRAGMA journal_mode=WAL", "включить журнал WAL");
    Transaction transaction(writer_);
    const auto newerFile = [this](std::int64_t version) {
        return StorageError("База «" + file_.string() + "» записана более новой версией склада (схема " +
                            std::to_string(version) + "); эта версия её не откроет.");
    };
    Statement olderVersion(writer_, "PRAGMA user_version", "прочитать версию базы");
    const std::int64_t older = olderVersion.step() ? olderVersion.integer(0) : 0;
    if (older > olderDepotsVersion) throw newerFile(older);
    std::int64_t found = 0;
    if (hasTable(writer_, "schema_version")) {
        Statement version(writer_, "SELECT coalesce(max(version), 0) FROM schema_version", "прочитать версию базы");
        found = version.step() ? version.integer(0) : 0;
    } else if (hasTable(writer_, "runs")) {
        found = older + 1;  // a file of a depot from before the version table
    }
    const std::int64_t latest = migrations().back().version;
    if (found > latest) throw newerFile(found);
    for (const Migration& migration : migrations()) {
        if (migration.version <= found) continue;
        for (const char* statement : migration.statements) execute(writer_, statement, "обновить таблицы базы");
    }
    if (found < latest || !hasTable(writer_, "schema_version")) {
        execute(writer_, "CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)",
                "создать таблицу версии базы");
        execute(writer_, "DELETE FROM schema_version", "записать версию базы");
        Statement record(writer_, "INSERT INTO schema_version (version) VALUES (?1)", "записать версию базы");
        record.bind(1, latest);
        record.step();
        Statement guard(writer_, "PRAGMA user_version = 1", "записать версию базы");
        guard.step();
    }
    transaction.commit();
}

SqliteStore::~SqliteStore() {
    for (sqlite3* reader : idleReaders_) sqlite3_close_v2(reader);
    // The last connection to close checkpoints the WAL into the main file.
    sqlite3_close_v2(writer_);
}

sqlite3* SqliteStore::openConnection() {
    sqlite3* connection = nullptr;
    const int result = sqlite3_open_v2(file_.c_str(), &connection,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (result != SQLITE_OK) {
        std::string detail = connection != nullptr ? sqlite3_errmsg(connection) : sqlite3_errstr(result);
        sqlite3_close_v2(connection);
        throw StorageError("Склад не смог открыть базу «" + file_.string() + "»: " + detail + ".");
    }
    try {
        // Waits out a checkpoint or another process's write instead of failing.
        sqlite3_busy_timeout(connection, 10'000);
        execute(connection, "PRAGMA synchronous=FULL", "настроить запись на диск");
    } catch (...) {
        sqlite3_close_v2(connection);
        throw;
    }
    return connection;
}

sqlite3* SqliteStore::borrowReader() {
    {
        std::lock_guard lock(readersLock_);
        if (!idleReaders_.empty()) {
            sqlite3* reader = idleReaders_.back();
            idleReaders_.pop_back();
            return reader;
        }
    }
    return openConnection();
}

void SqliteStore::giveBackReader(sqlite3* connection) {
    {
        std::lock_guard lock(readersLock_);
        if (idleReaders_.size() < maximumIdleReaders) {
            idleReaders_.push_back(connection);
            return;
        }
    }
    sqlite3_close_v2(connection);
}

StoreOutcome SqliteStore::store(const NewRun& run) {
    PendingWrite mine;
    mine.run = &run;
    std::unique_lock lock(queueLock_);
    queue_.push_back(&mine);
    // Whoever finds no batch being written writes everything queued so far,
    // its own request included; the others wait for that batch or the next.
    while (!mine.done) {
        if (writing_) {
            batchWritten_.wait(lock);
            continue;
        }
        writing_ = true;
        std::vector<PendingWrite*> batch;
        batch.swap(queue_);
        lock.unlock();
        writeBatch(batch);
        lock.lock();
        for (PendingWrite* write : batch) write->done = true;
        writing_ = false;
        batchWritten_.notify_all();
    }
    if (mine.error) std::rethrow_exception(mine.error);
    return mine.outcome;
}

void SqliteStore::writeBatch(const std::vector<PendingWrite*>& batch) noexcept {
    try {
        Transaction transaction(writer_);
        for (PendingWrite* write : batch) {
            const NewRun& run = *write->run;
            // Later writes of the batch see the earlier ones: the same id
            // twice in one batch is judged as if they came one after the other.
            Statement existing(writer_, "SELECT body FROM runs WHERE id = ?1", "прочитать запись");
            existing.bind(1, run.id);
            const bool known = existing.step();
            if (known && existing.text(0) != run.body) {
                write->outcome = StoreOutcome::differentBody;
                continue;
            }
            if (!known) {
                Statement insert(writer_,
                                 "INSERT INTO runs (id, key_sha256, body, received_at, name, owner, location, model)"
                                 " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)",
                                 "сохранить опись");
                insert.bind(1, run.id);
                insert.bindBlob(2, run.keyDigest.data(), run.keyDigest.size());
                insert.bindBlob(3, run.body.data(), run.body.size());
                insert.bind(4, run.receivedAt);
                insert.bind(5, run.name);
                insert.bind(6, run.owner);
                insert.bind(7, run.location);
                insert.bind(8, run.model);
                insert.step();
            }
            // The same bytes again, maybe with a new key: a retry whose first
            // answer was lost. Its key reads the record from now on.
            Statement key(writer_, "INSERT OR IGNORE INTO receipt_keys (id, key_sha256) VALUES (?1, ?2)",
                          "сохранить ключ получения");
            key.bind(1, run.id);
            key.bindBlob(2, run.keyDigest.data(), run.keyDigest.size());
            key.step();
            write->outcome = known ? StoreOutcome::alreadyStored : StoreOutcome::stored;
        }
        transaction.commit();
    } catch (...) {
        // Nothing of the batch was committed, so none of it may be confirmed.
        const std::exception_ptr error = std::current_exception();
        for (PendingWrite* write : batch) write->error = error;
    }
}

std::optional<StoredRun> SqliteStore::find(std::string_view id) {
    ReaderLease reader(*this);
    Statement query(reader.get(), "SELECT body, received_at FROM runs WHERE id = ?1", "прочитать опись");
    query.bind(1, id);
    if (!query.step()) return std::nullopt;
    return StoredRun{std::string(id), query.text(0), query.text(1)};
}

std::optional<StoredRun> SqliteStore::findWithKey(std::string_view id, const KeyDigest& key) {
    bool keyMatches = false;
    {
        ReaderLease reader(*this);
        Statement keys(reader.get(), "SELECT key_sha256 FROM receipt_keys WHERE id = ?1", "прочитать ключи получения");
        keys.bind(1, id);
        // Every key is compared, so the time taken does not say which matched.
        while (keys.step()) keyMatches = sameDigest(keys.digest(0), key) || keyMatches;
    }
    if (!keyMatches) return std::nullopt;
    return find(id);
}

std::vector<RunListing> SqliteStore::latest(std::size_t limit) {
    ReaderLease reader(*this);
    Statement query(reader.get(),
                    "SELECT id, received_at, name, owner, location, model FROM runs ORDER BY sequence DESC LIMIT ?1",
                    "прочитать список описей");
    query.bind(1, static_cast<std::int64_t>(limit));
    std::vector<RunListing> listing;
    while (query.step()) {
        listing.push_back({query.text(0), query.text(1), query.text(2), query.text(3), query.text(4), query.text(5)});
    }
    return listing;
}

}  // namespace nvx::depot
