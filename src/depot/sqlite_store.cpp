#include "depot/sqlite_store.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/report.h"
#include "depot/run_columns.h"

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
        // Copied: callers bind texts made on the spot.
        if (sqlite3_bind_text64(statement_, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8) !=
            SQLITE_OK)
            fail(connection_, doing_);
    }
    void bindBlob(int index, const void* data, std::size_t size) {
        if (sqlite3_bind_blob64(statement_, index, size == 0 ? "" : data, size, SQLITE_STATIC) != SQLITE_OK)
            fail(connection_, doing_);
    }
    void bind(int index, std::int64_t value) {
        if (sqlite3_bind_int64(statement_, index, value) != SQLITE_OK) fail(connection_, doing_);
    }
    void bind(int index, const std::optional<double>& value) {
        const int result =
            value ? sqlite3_bind_double(statement_, index, *value) : sqlite3_bind_null(statement_, index);
        if (result != SQLITE_OK) fail(connection_, doing_);
    }

    // Ready to run again with new values.
    void reset() {
        sqlite3_reset(statement_);
        sqlite3_clear_bindings(statement_);
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
    std::optional<double> real(int column) const {
        if (sqlite3_column_type(statement_, column) == SQLITE_NULL) return std::nullopt;
        return sqlite3_column_double(statement_, column);
    }
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
// every key of a record in `receipt_keys` (the first key also stays in
// `runs`). Step 3 (addFleetColumns) adds the fleet columns taken from the
// report, the device's newest-record and hardware-changed marks, and the
// indexes of the fleet pages.
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

constexpr std::int64_t fleetColumnsStep = 3;
constexpr std::int64_t schemaVersion = fleetColumnsStep;

// Depots from before the version table kept their layout in SQLite's
// user_version (0: step 1, 1: step 2, 2: step 3) and refuse a file whose
// user_version is above the one they know. It is 2 from step 3 on: a depot
// that does not keep the fleet marks must not write to the file.
constexpr std::int64_t olderDepotsVersion = 2;

bool hasTable(sqlite3* connection, const char* name) {
    Statement query(connection, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?1",
                    "прочитать список таблиц");
    query.bind(1, std::string_view(name));
    return query.step();
}

// The columns of a RunSummary, in its order; the six metric columns carry
// the fleet metrics' ids as names.
constexpr const char* summaryColumns =
    "id, received_at, name, owner, location, model, device_id, chip, memory_bytes,"
    " cpu_single, cpu_multi, memory_copy, gpu_compute, disk_write, disk_read";
constexpr int summaryColumnCount = 15;

RunSummary summaryAt(const Statement& row, int first = 0) {
    RunSummary run;
    run.id = row.text(first);
    run.receivedAt = row.text(first + 1);
    run.name = row.text(first + 2);
    run.owner = row.text(first + 3);
    run.location = row.text(first + 4);
    run.model = row.text(first + 5);
    run.deviceId = row.text(first + 6);
    run.chip = row.text(first + 7);
    run.memoryBytes = static_cast<std::uint64_t>(row.integer(first + 8));
    for (std::size_t index = 0; index < fleetMetricCount; ++index)
        run.metrics[index] = row.real(first + 9 + static_cast<int>(index));
    return run;
}

std::string searchTextOf(const std::string& name, const std::string& owner, const std::string& location) {
    // Folding turns line breaks into spaces, so the line breaks between the
    // fields keep a search from matching across two of them.
    return foldedForSearch(name) + "\n" + foldedForSearch(owner) + "\n" + foldedForSearch(location);
}

// Marks the newest record of a device and, for the given records, whether
// their hardware differs from the record before them of the same device.
// Both are kept in the rows so that the fleet pages read them through an
// index instead of comparing every record with its neighbour.
void markNewest(sqlite3* connection, const std::string& deviceId) {
    if (deviceId.empty()) return;
    Statement clear(connection, "UPDATE runs SET newest = 0 WHERE device_id = ?1 AND newest = 1",
                    "отметить последнюю опись устройства");
    clear.bind(1, deviceId);
    clear.step();
    Statement mark(connection,
                   "UPDATE runs SET newest = 1 WHERE sequence = (SELECT sequence FROM runs WHERE device_id = ?1"
                   " ORDER BY received_at DESC, id DESC LIMIT 1)",
                   "отметить последнюю опись устройства");
    mark.bind(1, deviceId);
    mark.step();
}

// Whether the hardware of a row of `runs` differs from that of the record
// before it from the same device; 0 for a device's first record. An empty
// profile (a body that could not be read) says nothing about hardware: no
// change is claimed next to it.
constexpr const char* hardwareChangedSQL =
    "COALESCE((SELECT before.hardware <> runs.hardware AND before.hardware <> '' AND runs.hardware <> ''"
    " FROM runs AS before WHERE before.device_id = runs.device_id"
    " AND (before.received_at, before.id) < (runs.received_at, runs.id)"
    " ORDER BY before.received_at DESC, before.id DESC LIMIT 1), 0)";

void markHardwareChange(sqlite3* connection, std::int64_t sequence) {
    const std::string sql = std::string("UPDATE runs SET hardware_changed = ") + hardwareChangedSQL +
                            " WHERE sequence = ?1 AND device_id <> ''";
    Statement mark(connection, sql.c_str(), "отметить смену оборудования");
    mark.bind(1, sequence);
    mark.step();
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
    if (found > schemaVersion) throw newerFile(found);
    for (const Migration& migration : migrations()) {
        if (migration.version <= found) continue;
        for (const char* statement : migration.statements) execute(writer_, statement, "обновить таблицы базы");
    }
    if (found < fleetColumnsStep) addFleetColumns();
    if (found < schemaVersion || !hasTable(writer_, "schema_version")) {
        execute(writer_, "CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)",
                "создать таблицу версии базы");
        execute(writer_, "DELETE FROM schema_version", "записать версию базы");
        Statement record(writer_, "INSERT INTO schema_version (version) VALUES (?1)", "записать версию базы");
        record.bind(1, schemaVersion);
        record.step();
        Statement guard(writer_, "PRAGMA user_version = 2", "записать версию базы");
        guard.step();
    }
    transaction.commit();
}

void SqliteStore::addFleetColumns() {
    static constexpr const char* columns[] = {"device_id TEXT NOT NULL DEFAULT ''",
                                              "chip TEXT NOT NULL DEFAULT ''",
                                              "memory_bytes INTEGER NOT NULL DEFAULT 0",
                                              "cpu_single REAL",
                                              "cpu_multi REAL",
                                              "memory_copy REAL",
                                              "gpu_compute REAL",
                                              "disk_write REAL",
                                              "disk_read REAL",
                                              "hardware TEXT NOT NULL DEFAULT ''",
                                              "search_text TEXT NOT NULL DEFAULT ''",
                                              "newest INTEGER NOT NULL DEFAULT 0",
                                              "hardware_changed INTEGER NOT NULL DEFAULT 0"};
    for (const char* column : columns)
        execute(writer_, (std::string("ALTER TABLE runs ADD COLUMN ") + column).c_str(), "добавить столбцы сводки");

    // Records stored before these columns existed get them from their bodies.
    // The labels the older layout kept stay as they were stored.
    {
        Statement rows(writer_, "SELECT sequence, body, name, owner, location FROM runs", "прочитать описи");
        Statement update(writer_,
                         "UPDATE runs SET device_id = ?2, chip = ?3, memory_bytes = ?4, cpu_single = ?5,"
                         " cpu_multi = ?6, memory_copy = ?7, gpu_compute = ?8, disk_write = ?9, disk_read = ?10,"
                         " hardware = ?11, search_text = ?12 WHERE sequence = ?1",
                         "дополнить опись сводкой");
        while (rows.step()) {
            NewRun columns;
            try {
                columns = fleetColumns(RunReport::decode(rows.text(1)));
            } catch (const std::exception&) {
                // A body this version cannot read keeps empty columns; its
                // page says it cannot be shown, as before.
            }
            update.reset();
            update.bind(1, rows.integer(0));
            update.bind(2, columns.deviceId);
            update.bind(3, columns.chip);
            update.bind(4, static_cast<std::int64_t>(columns.memoryBytes));
            for (std::size_t index = 0; index < fleetMetricCount; ++index)
                update.bind(5 + static_cast<int>(index), columns.metrics[index]);
            update.bind(11, columns.hardware);
            update.bind(12, searchTextOf(rows.text(2), rows.text(3), rows.text(4)));
            update.step();
        }
    }
    // The search text sits in the time and model indexes: a text search
    // walks an index in page order and reads a record only for a match,
    // never the records' bodies.
    execute(writer_, "CREATE INDEX runs_by_time ON runs (received_at, id, search_text)", "создать указатель описей");
    execute(writer_, "CREATE INDEX runs_by_model ON runs (model, received_at, id, search_text)",
            "создать указатель описей");
    execute(writer_, "CREATE INDEX runs_by_device ON runs (device_id, received_at, id)", "создать указатель описей");
    execute(writer_, "CREATE INDEX runs_newest_by_device ON runs (device_id) WHERE newest = 1",
            "создать указатель описей");
    execute(writer_, "CREATE INDEX runs_newest_by_model ON runs (model) WHERE newest = 1", "создать указатель описей");
    execute(writer_, "CREATE INDEX runs_hardware_changed ON runs (received_at, id) WHERE hardware_changed = 1",
            "создать указатель описей");
    execute(writer_,
            "UPDATE runs SET newest = 1 WHERE device_id <> '' AND NOT EXISTS (SELECT 1 FROM runs AS later"
            " WHERE later.device_id = runs.device_id AND (later.received_at, later.id) > (runs.received_at, runs.id))",
            "отметить последние описи устройств");
    const std::string changes =
        std::string("UPDATE runs SET hardware_changed = ") + hardwareChangedSQL + " WHERE device_id <> ''";
    execute(writer_, changes.c_str(), "отметить смены оборудования");
}

void SqliteStore::insertRun(const NewRun& run) {
    Statement insert(writer_,
                     "INSERT INTO runs (id, key_sha256, body, received_at, name, owner, location, model, device_id,"
                     " chip, memory_bytes, cpu_single, cpu_multi, memory_copy, gpu_compute, disk_write, disk_read,"
                     " hardware, search_text) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14,"
                     " ?15, ?16, ?17, ?18, ?19)",
                     "сохранить опись");
    insert.bind(1, run.id);
    insert.bindBlob(2, run.keyDigest.data(), run.keyDigest.size());
    insert.bindBlob(3, run.body.data(), run.body.size());
    insert.bind(4, run.receivedAt);
    insert.bind(5, run.name);
    insert.bind(6, run.owner);
    insert.bind(7, run.location);
    insert.bind(8, run.model);
    insert.bind(9, run.deviceId);
    insert.bind(10, run.chip);
    insert.bind(11, static_cast<std::int64_t>(run.memoryBytes));
    for (std::size_t index = 0; index < fleetMetricCount; ++index)
        insert.bind(12 + static_cast<int>(index), run.metrics[index]);
    insert.bind(18, run.hardware);
    insert.bind(19, searchTextOf(run.name, run.owner, run.location));
    insert.step();
    if (run.deviceId.empty()) return;
    const std::int64_t sequence = sqlite3_last_insert_rowid(writer_);
    markNewest(writer_, run.deviceId);
    markHardwareChange(writer_, sequence);
    // A record that arrives with an earlier time than one already stored
    // (clocks of two depot processes) sits between two records: the one
    // after it is now compared with it.
    Statement next(writer_,
                   "SELECT sequence FROM runs WHERE device_id = ?1 AND (received_at, id) > (?2, ?3)"
                   " ORDER BY received_at, id LIMIT 1",
                   "отметить смену оборудования");
    next.bind(1, run.deviceId);
    next.bind(2, run.receivedAt);
    next.bind(3, run.id);
    if (next.step()) markHardwareChange(writer_, next.integer(0));
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

std::vector<StoreOutcome> SqliteStore::storeAll(const std::vector<NewRun>& runs) {
    std::vector<PendingWrite> writes(runs.size());
    std::vector<PendingWrite*> batch;
    for (std::size_t index = 0; index < runs.size(); ++index) {
        writes[index].run = &runs[index];
        batch.push_back(&writes[index]);
    }
    {
        // Takes the writer's turn like a batch of store() calls would.
        std::unique_lock lock(queueLock_);
        batchWritten_.wait(lock, [this] { return !writing_; });
        writing_ = true;
    }
    writeBatch(batch);
    {
        std::lock_guard lock(queueLock_);
        writing_ = false;
    }
    batchWritten_.notify_all();
    std::vector<StoreOutcome> outcomes;
    for (const PendingWrite& write : writes) {
        if (write.error) std::rethrow_exception(write.error);
        outcomes.push_back(write.outcome);
    }
    return outcomes;
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
                insertRun(run);
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

std::vector<RunSummary> SqliteStore::runsPage(const RunFilter& filter, const std::optional<RunCursor>& cursor,
                                              PageDirection direction, std::size_t limit) {
    // Only placeholders are appended; the values are bound below in the same order.
    std::string sql = std::string("SELECT ") + summaryColumns + " FROM runs WHERE 1";
    std::vector<std::string> values;
    auto narrow = [&](const std::string& value, const char* condition) {
        if (value.empty()) return;
        values.push_back(value);
        sql += std::string(" AND ") + condition + " ?" + std::to_string(values.size());
    };
    narrow(filter.model, "model =");
    narrow(filter.deviceId, "device_id =");
    narrow(filter.receivedFrom, "received_at >=");
    narrow(filter.receivedBefore, "received_at <");
    if (!filter.text.empty()) {
        values.push_back(foldedForSearch(filter.text));
        sql += " AND instr(search_text, ?" + std::to_string(values.size()) + ") > 0";
    }
    const bool newer = cursor && direction == PageDirection::newer;
    if (cursor) {
        values.push_back(cursor->receivedAt);
        values.push_back(cursor->id);
        sql += std::string(" AND (received_at, id) ") + (newer ? ">" : "<") + " (?" +
               std::to_string(values.size() - 1) + ", ?" + std::to_string(values.size()) + ")";
    }
    sql += newer ? " ORDER BY received_at, id" : " ORDER BY received_at DESC, id DESC";
    sql += " LIMIT ?" + std::to_string(values.size() + 1);

    ReaderLease reader(*this);
    Statement query(reader.get(), sql.c_str(), "прочитать список описей");
    for (std::size_t index = 0; index < values.size(); ++index) query.bind(static_cast<int>(index + 1), values[index]);
    query.bind(static_cast<int>(values.size() + 1), static_cast<std::int64_t>(limit));
    std::vector<RunSummary> page;
    while (query.step()) page.push_back(summaryAt(query));
    if (newer) std::reverse(page.begin(), page.end());
    return page;
}

std::vector<DeviceRun> SqliteStore::deviceRuns(std::string_view deviceId) {
    std::vector<DeviceRun> runs;
    if (deviceId.empty()) return runs;
    ReaderLease reader(*this);
    const std::string sql =
        std::string("SELECT ") + summaryColumns + ", hardware FROM runs WHERE device_id = ?1 ORDER BY received_at, id";
    Statement query(reader.get(), sql.c_str(), "прочитать описи устройства");
    query.bind(1, deviceId);
    while (query.step()) runs.push_back({summaryAt(query), query.text(summaryColumnCount)});
    return runs;
}

std::vector<HardwareStep> SqliteStore::hardwareSteps(const std::optional<RunCursor>& cursor, std::size_t limit) {
    ReaderLease reader(*this);
    std::string sql = std::string("SELECT ") + summaryColumns + ", hardware, " +
                      "(SELECT before.hardware FROM runs AS before WHERE before.device_id = runs.device_id"
                      " AND (before.received_at, before.id) < (runs.received_at, runs.id)"
                      " ORDER BY before.received_at DESC, before.id DESC LIMIT 1)"
                      " FROM runs WHERE hardware_changed = 1";
    if (cursor) sql += " AND (received_at, id) < (?2, ?3)";
    sql += " ORDER BY received_at DESC, id DESC LIMIT ?1";
    Statement query(reader.get(), sql.c_str(), "прочитать смены оборудования");
    query.bind(1, static_cast<std::int64_t>(limit));
    if (cursor) {
        query.bind(2, cursor->receivedAt);
        query.bind(3, cursor->id);
    }
    std::vector<HardwareStep> steps;
    while (query.step())
        steps.push_back({summaryAt(query), query.text(summaryColumnCount + 1), query.text(summaryColumnCount)});
    return steps;
}

void SqliteStore::forEachLatestRun(const std::function<void(const RunSummary&)>& visit) {
    ReaderLease reader(*this);
    const std::string sql = std::string("SELECT ") + summaryColumns + " FROM runs WHERE newest = 1 ORDER BY device_id";
    // One statement read row by row: one read transaction sees one state of
    // the database, and memory does not grow with the fleet.
    Statement query(reader.get(), sql.c_str(), "прочитать последние описи устройств");
    while (query.step()) visit(summaryAt(query));
}

std::vector<double> SqliteStore::latestMetricValues(std::string_view model, std::size_t metricIndex) {
    std::vector<double> values;
    if (metricIndex >= fleetMetricCount) return values;
    // The column name comes from our own table, never from a request.
    const std::string column(fleetMetrics[metricIndex].id);
    const std::string sql =
        "SELECT " + column + " FROM runs WHERE newest = 1 AND model = ?1 AND " + column + " IS NOT NULL";
    ReaderLease reader(*this);
    Statement query(reader.get(), sql.c_str(), "прочитать измерения модели");
    query.bind(1, model);
    while (query.step()) values.push_back(*query.real(0));
    return values;
}

}  // namespace nvx::depot
