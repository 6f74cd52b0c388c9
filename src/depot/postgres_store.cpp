#include "depot/postgres_store.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <deque>
#include <exception>

#include "depot/run_columns.h"

namespace nvx::depot {
namespace {

// The layout, in steps. A database records the last step applied in
// `schema_version`; a depot applies the later ones at start and refuses a
// database that has steps it does not know. The numbers are those of the
// SQLite layout, so one number means the same records on both. Texts that
// order pages compare byte by byte (COLLATE "C"), as in SQLite, whatever
// the database's locale.
struct Migration {
    int version;
    const char* sql;
};
constexpr Migration migrations[] = {
    {1,
     "CREATE TABLE runs ("
     " sequence bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,"
     " id text COLLATE \"C\" NOT NULL UNIQUE,"
     " body bytea NOT NULL,"
     " received_at text COLLATE \"C\" NOT NULL,"
     " name text NOT NULL,"
     " owner text NOT NULL,"
     " location text NOT NULL,"
     " model text COLLATE \"C\" NOT NULL);"
     // Bodies are stored as they are: compressing each report costs more
     // processor time per submission than the depot spends on it otherwise.
     "ALTER TABLE runs ALTER COLUMN body SET STORAGE EXTERNAL"},
    {2,
     "CREATE TABLE receipt_keys ("
     " id text NOT NULL REFERENCES runs (id),"
     " key_sha256 bytea NOT NULL,"
     " PRIMARY KEY (id, key_sha256))"},
    // The fleet columns taken from the report, the device's newest-record
    // and hardware-changed marks, and the indexes of the fleet pages.
    {3,
     "ALTER TABLE runs"
     " ADD COLUMN device_id text COLLATE \"C\" NOT NULL DEFAULT '',"
     " ADD COLUMN chip text NOT NULL DEFAULT '',"
     " ADD COLUMN memory_bytes bigint NOT NULL DEFAULT 0,"
     " ADD COLUMN cpu_single double precision,"
     " ADD COLUMN cpu_multi double precision,"
     " ADD COLUMN memory_copy double precision,"
     " ADD COLUMN gpu_compute double precision,"
     " ADD COLUMN disk_write double precision,"
     " ADD COLUMN disk_read double precision,"
     " ADD COLUMN hardware text NOT NULL DEFAULT '',"
     " ADD COLUMN search_text text NOT NULL DEFAULT '',"
     " ADD COLUMN newest boolean NOT NULL DEFAULT false,"
     " ADD COLUMN hardware_changed boolean NOT NULL DEFAULT false;"
     "CREATE INDEX runs_by_time ON runs (received_at, id);"
     "CREATE INDEX runs_by_model ON runs (model, received_at, id);"
     "CREATE INDEX runs_by_device ON runs (device_id, received_at, id);"
     "CREATE INDEX runs_newest_by_device ON runs (device_id) WHERE newest;"
     "CREATE INDEX runs_newest_by_model ON runs (model) WHERE newest;"
     "CREATE INDEX runs_hardware_changed ON runs (received_at, id) WHERE hardware_changed"},
};
constexpr int schemaVersion = migrations[std::size(migrations) - 1].version;

// Depots starting together on a fresh database take turns at creating it.
constexpr const char* migrationLock = "SELECT pg_advisory_xact_lock(7239017010)";

// The columns of a RunSummary, in its order; the six metric columns carry
// the fleet metrics' ids as names.
#define NVX_SUMMARY_COLUMNS                                                         \
    "id, received_at, name, owner, location, model, device_id, chip, memory_bytes," \
    " cpu_single, cpu_multi, memory_copy, gpu_compute, disk_write, disk_read"
constexpr int summaryColumnCount = 15;

// Whether the hardware of a row differs from that of the device's record
// before it; false for a device's first record. An empty profile (a body
// that could not be read) says nothing about hardware.
#define NVX_HARDWARE_CHANGED                                                                              \
    "COALESCE((SELECT before.hardware <> runs.hardware AND before.hardware <> '' AND runs.hardware <> ''" \
    " FROM runs AS before WHERE before.device_id = runs.device_id"                                        \
    " AND (before.received_at, before.id) < (runs.received_at, runs.id)"                                  \
    " ORDER BY before.received_at DESC, before.id DESC LIMIT 1), false)"

// Every fixed statement the store runs, prepared once on each connection.
struct PreparedStatement {
    const char* name;
    const char* sql;
};
constexpr PreparedStatement statements[] = {
    // A new record and its key in one statement. Another depot storing the
    // same id at this moment makes the insert wait for its commit and then
    // do nothing.
    // The record carries its marks from the start: it is its device's
    // newest unless a later record exists, and its hardware changed when it
    // differs from the device's record just before it.
    {"insert_new_run",
     "WITH inserted AS ("
     " INSERT INTO runs (id, body, received_at, name, owner, location, model, device_id, chip, memory_bytes,"
     " cpu_single, cpu_multi, memory_copy, gpu_compute, disk_write, disk_read, hardware, search_text,"
     " newest, hardware_changed)"
     " SELECT $1::text, $2::bytea, $3::text, $4::text, $5::text, $6::text, $7::text, $8::text, $9::text,"
     " $10::bigint, $11::float8, $12::float8, $13::float8, $14::float8, $15::float8, $16::float8, $17::text,"
     " $18::text,"
     " $8 <> '' AND NOT EXISTS (SELECT 1 FROM runs AS later WHERE later.device_id = $8"
     " AND (later.received_at, later.id) > ($3, $1)),"
     " $8 <> '' AND COALESCE((SELECT before.hardware <> $17 AND before.hardware <> '' AND $17 <> ''"
     " FROM runs AS before WHERE before.device_id = $8 AND (before.received_at, before.id) < ($3, $1)"
     " ORDER BY before.received_at DESC, before.id DESC LIMIT 1), false)"
     " ON CONFLICT (id) DO NOTHING RETURNING id),"
     " key AS (INSERT INTO receipt_keys (id, key_sha256) SELECT id, $19::bytea FROM inserted)"
     " SELECT count(*) FROM inserted"},
    // Depots storing records of one device take turns at its marks.
    {"lock_device", "SELECT pg_advisory_xact_lock(72390170, hashtext($1))"},
    // A new newest record ($2 at $3) takes the mark from the one before it.
    {"pass_newest_mark",
     "UPDATE runs SET newest = false WHERE device_id = $1 AND newest AND (received_at, id) < ($3, $2)"
     " AND EXISTS (SELECT 1 FROM runs AS newer WHERE newer.id = $2 AND newer.device_id = $1"
     " AND newer.received_at = $3 AND newer.newest)"},
    // A record that arrived with an earlier time than one already stored
    // (another depot's clock) now stands before that one: it is compared
    // with the new record instead.
    {"mark_next_hardware_change",
     "UPDATE runs SET hardware_changed = " NVX_HARDWARE_CHANGED
     " WHERE runs.sequence = (SELECT next.sequence FROM runs AS next"
     " WHERE next.device_id = $1 AND (next.received_at, next.id) > ($3, $2)"
     " ORDER BY next.received_at, next.id LIMIT 1)"},
    {"run_body", "SELECT body FROM runs WHERE id = $1"},
    {"insert_key", "INSERT INTO receipt_keys (id, key_sha256) VALUES ($1, $2) ON CONFLICT DO NOTHING"},
    {"find_run", "SELECT body, received_at FROM runs WHERE id = $1"},
    // The record with all its key digests run together (32 bytes each).
    {"find_run_with_keys",
     "SELECT body, received_at,"
     " (SELECT coalesce(string_agg(key_sha256, ''::bytea), ''::bytea) FROM receipt_keys k WHERE k.id = runs.id)"
     " FROM runs WHERE id = $1"},
    {"latest_runs", "SELECT id, received_at, name, owner, location, model FROM runs ORDER BY sequence DESC LIMIT $1"},
    {"device_runs", "SELECT " NVX_SUMMARY_COLUMNS ", hardware FROM runs WHERE device_id = $1 ORDER BY received_at, id"},
    {"hardware_steps", "SELECT " NVX_SUMMARY_COLUMNS ", hardware,"
                       " (SELECT before.hardware FROM runs AS before WHERE before.device_id = runs.device_id"
                       " AND (before.received_at, before.id) < (runs.received_at, runs.id)"
                       " ORDER BY before.received_at DESC, before.id DESC LIMIT 1)"
                       " FROM runs WHERE hardware_changed ORDER BY received_at DESC, id DESC LIMIT $1"},
    {"hardware_steps_after", "SELECT " NVX_SUMMARY_COLUMNS ", hardware,"
                             " (SELECT before.hardware FROM runs AS before WHERE before.device_id = runs.device_id"
                             " AND (before.received_at, before.id) < (runs.received_at, runs.id)"
                             " ORDER BY before.received_at DESC, before.id DESC LIMIT 1)"
                             " FROM runs WHERE hardware_changed AND (received_at, id) < ($2, $3)"
                             " ORDER BY received_at DESC, id DESC LIMIT $1"},
    {"latest_runs_of_devices", "SELECT " NVX_SUMMARY_COLUMNS " FROM runs WHERE newest ORDER BY device_id"},
};

// A failed call: a broken connection makes the request worth repeating
// later (503); anything else is the database refusing it. Clears `result`.
[[noreturn]] void fail(PGconn* connection, PGresult* result, const std::string& doing) {
    if (PQstatus(connection) != CONNECTION_OK) {
        PQclear(result);
        throw StorageUnavailable("Связь склада с базой PostgreSQL прервалась, когда он пытался " + doing + ": " +
                                 postgresMessage(connection) + ".");
    }
    std::string detail = result != nullptr ? PQresultErrorMessage(result) : "";
    PQclear(result);
    if (detail.empty()) detail = postgresMessage(connection);
    for (char& c : detail)
        if (c == '\n') c = ' ';
    while (!detail.empty() && detail.back() == ' ') detail.pop_back();
    throw StorageError("Склад не смог " + doing + " в базе PostgreSQL: " + detail + ".");
}

class Result {
public:
    Result(PGconn* connection, PGresult* result, const std::string& doing) : result_(result) {
        const ExecStatusType status = result != nullptr ? PQresultStatus(result) : PGRES_FATAL_ERROR;
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK && status != PGRES_SINGLE_TUPLE) {
            fail(connection, result, doing);
        }
    }
    ~Result() { PQclear(result_); }
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;

    int rows() const { return PQntuples(result_); }
    // A bigint column in binary form: 8 bytes in network order.
    std::int64_t integer(int row, int column) const {
        if (PQgetlength(result_, row, column) != 8) return 0;
        const auto* bytes = reinterpret_cast<const unsigned char*>(PQgetvalue(result_, row, column));
        std::uint64_t value = 0;
        for (int i = 0; i < 8; ++i) value = value << 8 | bytes[i];
        return static_cast<std::int64_t>(value);
    }
    // A double precision column in binary form, or nullopt for NULL.
    std::optional<double> real(int row, int column) const {
        if (PQgetisnull(result_, row, column) || PQgetlength(result_, row, column) != 8) return std::nullopt;
        const auto* bytes = reinterpret_cast<const unsigned char*>(PQgetvalue(result_, row, column));
        std::uint64_t bits = 0;
        for (int i = 0; i < 8; ++i) bits = bits << 8 | bytes[i];
        double value = 0;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    // A column in binary form: text and bytea are their bytes as they are.
    std::string bytes(int row, int column) const {
        return std::string(PQgetvalue(result_, row, column), PQgetlength(result_, row, column));
    }

private:
    PGresult* result_;
};

// Parameter values, all sent in binary form: text and bytea as their bytes,
// bigint and double precision as 8 bytes in network order.
class Parameters {
public:
    Parameters& bytes(const void* data, std::size_t size) {
        values_.push_back(size == 0 ? "" : static_cast<const char*>(data));
        lengths_.push_back(static_cast<int>(size));
        formats_.push_back(1);
        return *this;
    }
    Parameters& text(std::string_view text) { return bytes(text.data(), text.size()); }
    // A value made for the call: kept here until the call is done.
    Parameters& text(std::string&& made) {
        const std::string& kept = owned_.emplace_back(std::move(made));
        return bytes(kept.data(), kept.size());
    }
    Parameters& integer(std::int64_t value) {
        std::string& encoded = owned_.emplace_back(8, '\0');
        for (int i = 0; i < 8; ++i)
            encoded[i] = static_cast<char>((static_cast<std::uint64_t>(value) >> (56 - 8 * i)) & 0xFF);
        return bytes(encoded.data(), encoded.size());
    }

    Parameters& real(const std::optional<double>& value) {
        if (!value) {
            values_.push_back(nullptr);  // NULL
            lengths_.push_back(0);
            formats_.push_back(1);
            return *this;
        }
        std::uint64_t bits = 0;
        std::memcpy(&bits, &*value, sizeof bits);
        return integer(static_cast<std::int64_t>(bits));
    }

    int count() const { return static_cast<int>(values_.size()); }
    const char* const* values() const { return values_.data(); }
    const int* lengths() const { return lengths_.data(); }
    const int* formats() const { return formats_.data(); }

private:
    std::deque<std::string> owned_;  // a deque keeps the addresses handed out
    std::vector<const char*> values_;
    std::vector<int> lengths_;
    std::vector<int> formats_;
};

void prepareStatements(PostgresConnection& connection) {
    if (connection.prepared) return;
    for (const PreparedStatement& statement : statements) {
        Result(connection.handle, PQprepare(connection.handle, statement.name, statement.sql, 0, nullptr),
               "подготовить запросы");
    }
    connection.prepared = true;
}

// Runs a prepared statement; results come back in binary form.
Result runPrepared(PostgresConnection& connection, const char* statement, const Parameters& parameters,
                   const std::string& doing) {
    prepareStatements(connection);
    return Result(connection.handle,
                  PQexecPrepared(connection.handle, statement, parameters.count(), parameters.values(),
                                 parameters.lengths(), parameters.formats(), 1),
                  doing);
}

// A statement without values (transaction control, the layout).
void execute(PostgresConnection& connection, const char* sql, const std::string& doing) {
    Result(connection.handle, PQexec(connection.handle, sql), doing);
}

// PostgreSQL text cannot hold a zero byte; the listing's fields are copies
// of the report's own texts (whose bytes are kept verbatim in `body`), so a
// zero there becomes U+FFFD instead of costing the whole report.
std::string withoutZeroBytes(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (char c : text) {
        if (c == '\0') {
            result += "\xEF\xBF\xBD";
        } else {
            result.push_back(c);
        }
    }
    return result;
}

// One step of runTogether: a prepared statement with its values, or (without
// values) a plain statement such as BEGIN.
struct Step {
    const char* statement;
    const Parameters* parameters = nullptr;
};

// Sends `steps` at once and reads their results in order (libpq's pipeline
// mode): a transaction of several statements costs one network round trip.
// Answers the first column of the first row of step `answering` (a bigint).
// The first failure is thrown once every result has been read; after a
// failure inside a transaction the rest is skipped and the transaction is
// rolled back when the connection is given back.
std::int64_t runTogether(PostgresConnection& connection, const std::vector<Step>& steps, std::size_t answering,
                         const std::string& doing) {
    prepareStatements(connection);
    PGconn* handle = connection.handle;
    if (PQenterPipelineMode(handle) != 1) fail(handle, nullptr, doing);
    bool complete = false;
    struct Leave {
        PostgresConnection& connection;
        const bool& complete;
        ~Leave() {
            // Results still pending (a broken connection) leave it in
            // pipeline mode: nobody may use it after this.
            if (!complete || PQexitPipelineMode(connection.handle) != 1) connection.unusable = true;
        }
    } leave{connection, complete};
    for (const Step& step : steps) {
        const Parameters* values = step.parameters;
        const int sent = values == nullptr
                             ? PQsendQueryParams(handle, step.statement, 0, nullptr, nullptr, nullptr, nullptr, 1)
                             : PQsendQueryPrepared(handle, step.statement, values->count(), values->values(),
                                                   values->lengths(), values->formats(), 1);
        if (sent != 1) fail(handle, nullptr, doing);
    }
    if (PQpipelineSync(handle) != 1) fail(handle, nullptr, doing);
    std::int64_t answer = 0;
    PGresult* firstFailure = nullptr;
    for (std::size_t index = 0; index < steps.size(); ++index) {
        PGresult* result = PQgetResult(handle);
        if (result == nullptr) break;  // the connection broke
        const ExecStatusType status = PQresultStatus(result);
        if (status == PGRES_TUPLES_OK && index == answering && PQntuples(result) == 1 &&
            PQgetlength(result, 0, 0) == 8) {
            const auto* bytes = reinterpret_cast<const unsigned char*>(PQgetvalue(result, 0, 0));
            std::uint64_t value = 0;
            for (int i = 0; i < 8; ++i) value = value << 8 | bytes[i];
            answer = static_cast<std::int64_t>(value);
        }
        if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK && firstFailure == nullptr) {
            firstFailure = result;
        } else {
            PQclear(result);
        }
        PGresult* end = PQgetResult(handle);  // null ends each statement's results
        if (end != nullptr) {
            PQclear(end);
            break;
        }
    }
    PGresult* sync = PQgetResult(handle);
    complete = sync != nullptr && PQresultStatus(sync) == PGRES_PIPELINE_SYNC;
    PQclear(sync);
    if (!complete && PQstatus(handle) == CONNECTION_OK) connection.unusable = true;
    if (firstFailure != nullptr || !complete) fail(handle, firstFailure, doing);
    return answer;
}

RunSummary summaryAt(const Result& rows, int row) {
    RunSummary run;
    run.id = rows.bytes(row, 0);
    run.receivedAt = rows.bytes(row, 1);
    run.name = rows.bytes(row, 2);
    run.owner = rows.bytes(row, 3);
    run.location = rows.bytes(row, 4);
    run.model = rows.bytes(row, 5);
    run.deviceId = rows.bytes(row, 6);
    run.chip = rows.bytes(row, 7);
    run.memoryBytes = static_cast<std::uint64_t>(rows.integer(row, 8));
    for (std::size_t index = 0; index < fleetMetricCount; ++index)
        run.metrics[index] = rows.real(row, 9 + static_cast<int>(index));
    return run;
}

std::string searchTextOf(const std::string& name, const std::string& owner, const std::string& location) {
    // Folding turns line breaks into spaces, so the line breaks between the
    // fields keep a search from matching across two of them.
    return withoutZeroBytes(foldedForSearch(name) + "\n" + foldedForSearch(owner) + "\n" + foldedForSearch(location));
}

// Runs a statement made for this call (its text has placeholders only).
Result runMade(PostgresConnection& connection, const std::string& sql, const Parameters& parameters,
               const std::string& doing) {
    return Result(connection.handle,
                  PQexecParams(connection.handle, sql.c_str(), parameters.count(), nullptr, parameters.values(),
                               parameters.lengths(), parameters.formats(), 1),
                  doing);
}

}  // namespace

PostgresStore::PostgresStore(std::string uri, std::size_t maximumConnections)
    : pool_(std::move(uri), maximumConnections) {
    createOrUpgradeTables();
}

template <typename Work>
auto PostgresStore::withConnection(Work work, const std::size_t* delivered) {
    for (int attempt = 0;; ++attempt) {
        PostgresPool::Lease connection = pool_.borrow();
        try {
            return work(*connection);
        } catch (const StorageUnavailable&) {
            // Every operation may be repeated: a store() whose commit did
            // happen finds its record and answers alreadyStored.
            pool_.discardIdle();
            if (connection.fresh() || attempt > 0 || (delivered != nullptr && *delivered > 0)) throw;
        }
    }
}

void PostgresStore::createOrUpgradeTables() {
    withConnection([this](PostgresConnection& connection) {
        // Tables are created in one transaction with the version, so a
        // depot stopped half-way leaves the database as it was.
        execute(connection, "BEGIN", "начать обновление базы");
        execute(connection, migrationLock, "дождаться других складов, обновляющих базу");
        execute(connection, "CREATE TABLE IF NOT EXISTS schema_version (version integer NOT NULL)",
                "создать таблицу версии базы");
        Result version(connection.handle,
                       PQexec(connection.handle, "SELECT coalesce(max(version), 0) FROM schema_version"),
                       "прочитать версию базы");
        int found = 0;
        const std::string text = version.bytes(0, 0);
        std::from_chars(text.data(), text.data() + text.size(), found);
        if (found > schemaVersion) {
            throw StorageError("База PostgreSQL " + pool_.target() + " записана более новой версией склада (схема " +
                               std::to_string(found) + "); эта версия её не откроет.");
        }
        for (const Migration& migration : migrations) {
            if (migration.version > found) execute(connection, migration.sql, "обновить таблицы базы");
        }
        if (found < schemaVersion) {
            execute(connection, "DELETE FROM schema_version", "записать версию базы");
            const std::string current = std::to_string(schemaVersion);
            const char* values[] = {current.c_str()};
            Result(connection.handle,
                   PQexecParams(connection.handle, "INSERT INTO schema_version (version) VALUES ($1)", 1, nullptr,
                                values, nullptr, nullptr, 0),
                   "записать версию базы");
        }
        execute(connection, "COMMIT", "записать обновление базы");
    });
}

StoreOutcome PostgresStore::store(const NewRun& run) {
    return withConnection([&run](PostgresConnection& connection) {
        Parameters newRun;
        newRun.text(run.id)
            .bytes(run.body.data(), run.body.size())
            .text(run.receivedAt)
            .text(withoutZeroBytes(run.name))
            .text(withoutZeroBytes(run.owner))
            .text(withoutZeroBytes(run.location))
            .text(withoutZeroBytes(run.model))
            .text(withoutZeroBytes(run.deviceId))
            .text(withoutZeroBytes(run.chip))
            .integer(static_cast<std::int64_t>(run.memoryBytes));
        for (const auto& value : run.metrics) newRun.real(value);
        newRun.text(withoutZeroBytes(run.hardware))
            .text(searchTextOf(run.name, run.owner, run.location))
            .bytes(run.keyDigest.data(), run.keyDigest.size());
        bool inserted = false;
        if (run.deviceId.empty()) {
            inserted = runPrepared(connection, "insert_new_run", newRun, "сохранить опись").integer(0, 0) == 1;
        } else {
            // A record of a device changes its device's marks in the same
            // transaction, all sent at once. Depots storing records of one
            // device take turns at the lock. When the id was taken nothing
            // was inserted and the marks stay as they are.
            Parameters device;
            device.text(withoutZeroBytes(run.deviceId));
            Parameters neighbours;
            neighbours.text(withoutZeroBytes(run.deviceId)).text(run.id).text(run.receivedAt);
            inserted = runTogether(connection,
                                   {{"BEGIN"},
                                    {"lock_device", &device},
                                    {"insert_new_run", &newRun},
                                    {"pass_newest_mark", &neighbours},
                                    {"mark_next_hardware_change", &neighbours},
                                    {"COMMIT"}},
                                   2, "сохранить опись") == 1;
        }
        if (inserted) return StoreOutcome::stored;

        // The id is taken: the same bytes again (a retry whose first answer
        // was lost) add their key, other bytes change nothing. Records never
        // change once stored, so the comparison holds until the key is in.
        Parameters id;
        id.text(run.id);
        const Result existing = runPrepared(connection, "run_body", id, "прочитать запись");
        if (existing.rows() != 1) {
            throw StorageError("Склад не нашёл в базе PostgreSQL опись «" + run.id + "», хотя её id занят.");
        }
        if (existing.bytes(0, 0) != run.body) return StoreOutcome::differentBody;
        Parameters key;
        key.text(run.id).bytes(run.keyDigest.data(), run.keyDigest.size());
        runPrepared(connection, "insert_key", key, "сохранить ключ получения");
        return StoreOutcome::alreadyStored;
    });
}

std::optional<StoredRun> PostgresStore::find(std::string_view id) {
    return withConnection([id](PostgresConnection& connection) -> std::optional<StoredRun> {
        Parameters parameters;
        parameters.text(id);
        const Result found = runPrepared(connection, "find_run", parameters, "прочитать опись");
        if (found.rows() == 0) return std::nullopt;
        return StoredRun{std::string(id), found.bytes(0, 0), found.bytes(0, 1)};
    });
}

std::optional<StoredRun> PostgresStore::findWithKey(std::string_view id, const KeyDigest& key) {
    return withConnection([id, &key](PostgresConnection& connection) -> std::optional<StoredRun> {
        Parameters parameters;
        parameters.text(id);
        const Result found = runPrepared(connection, "find_run_with_keys", parameters, "прочитать опись");
        if (found.rows() == 0) return std::nullopt;
        const std::string keys = found.bytes(0, 2);
        // Every key is compared, so the time taken does not say which matched.
        bool matches = false;
        for (std::size_t offset = 0; offset + key.size() <= keys.size(); offset += key.size()) {
            KeyDigest stored{};
            std::memcpy(stored.data(), keys.data() + offset, stored.size());
            matches = sameDigest(stored, key) || matches;
        }
        if (!matches) return std::nullopt;
        return StoredRun{std::string(id), found.bytes(0, 0), found.bytes(0, 1)};
    });
}

std::vector<RunListing> PostgresStore::latest(std::size_t limit) {
    return withConnection([limit](PostgresConnection& connection) {
        Parameters parameters;
        parameters.integer(static_cast<std::int64_t>(limit));
        const Result rows = runPrepared(connection, "latest_runs", parameters, "прочитать список описей");
        std::vector<RunListing> listing;
        listing.reserve(static_cast<std::size_t>(rows.rows()));
        for (int row = 0; row < rows.rows(); ++row) {
            listing.push_back({rows.bytes(row, 0), rows.bytes(row, 1), rows.bytes(row, 2), rows.bytes(row, 3),
                               rows.bytes(row, 4), rows.bytes(row, 5)});
        }
        return listing;
    });
}

std::vector<RunSummary> PostgresStore::runsPage(const RunFilter& filter, const std::optional<RunCursor>& cursor,
                                                PageDirection direction, std::size_t limit) {
    // Only placeholders are appended; the values go as parameters in the same order.
    std::string sql = "SELECT " NVX_SUMMARY_COLUMNS " FROM runs WHERE true";
    Parameters parameters;
    auto narrow = [&](const std::string& value, const char* condition) {
        if (value.empty()) return;
        parameters.text(withoutZeroBytes(value));
        sql += std::string(" AND ") + condition + " $" + std::to_string(parameters.count());
    };
    narrow(filter.model, "model =");
    narrow(filter.deviceId, "device_id =");
    narrow(filter.receivedFrom, "received_at >=");
    narrow(filter.receivedBefore, "received_at <");
    if (!filter.text.empty()) {
        parameters.text(withoutZeroBytes(foldedForSearch(filter.text)));
        sql += " AND strpos(search_text, $" + std::to_string(parameters.count()) + ") > 0";
    }
    const bool newer = cursor && direction == PageDirection::newer;
    if (cursor) {
        parameters.text(withoutZeroBytes(cursor->receivedAt)).text(withoutZeroBytes(cursor->id));
        sql += std::string(" AND (received_at, id) ") + (newer ? ">" : "<") + " ($" +
               std::to_string(parameters.count() - 1) + ", $" + std::to_string(parameters.count()) + ")";
    }
    sql += newer ? " ORDER BY received_at, id" : " ORDER BY received_at DESC, id DESC";
    parameters.integer(static_cast<std::int64_t>(limit));
    sql += " LIMIT $" + std::to_string(parameters.count());
    return withConnection([&](PostgresConnection& connection) {
        const Result rows = runMade(connection, sql, parameters, "прочитать список описей");
        std::vector<RunSummary> page;
        page.reserve(static_cast<std::size_t>(rows.rows()));
        for (int row = 0; row < rows.rows(); ++row) page.push_back(summaryAt(rows, row));
        if (newer) std::reverse(page.begin(), page.end());
        return page;
    });
}

std::vector<DeviceRun> PostgresStore::deviceRuns(std::string_view deviceId) {
    if (deviceId.empty()) return {};
    return withConnection([deviceId](PostgresConnection& connection) {
        Parameters parameters;
        parameters.text(withoutZeroBytes(deviceId));
        const Result rows = runPrepared(connection, "device_runs", parameters, "прочитать описи устройства");
        std::vector<DeviceRun> runs;
        for (int row = 0; row < rows.rows(); ++row)
            runs.push_back({summaryAt(rows, row), rows.bytes(row, summaryColumnCount)});
        return runs;
    });
}

std::vector<HardwareStep> PostgresStore::hardwareSteps(const std::optional<RunCursor>& cursor, std::size_t limit) {
    return withConnection([&](PostgresConnection& connection) {
        Parameters parameters;
        parameters.integer(static_cast<std::int64_t>(limit));
        if (cursor) parameters.text(withoutZeroBytes(cursor->receivedAt)).text(withoutZeroBytes(cursor->id));
        const Result rows = runPrepared(connection, cursor ? "hardware_steps_after" : "hardware_steps", parameters,
                                        "прочитать смены оборудования");
        std::vector<HardwareStep> steps;
        for (int row = 0; row < rows.rows(); ++row) {
            steps.push_back(
                {summaryAt(rows, row), rows.bytes(row, summaryColumnCount + 1), rows.bytes(row, summaryColumnCount)});
        }
        return steps;
    });
}

void PostgresStore::forEachLatestRun(const std::function<void(const RunSummary&)>& visit) {
    std::size_t visited = 0;
    withConnection(
        [&](PostgresConnection& connection) {
            prepareStatements(connection);
            // Row by row: one statement sees one state of the database, and
            // memory does not grow with the fleet.
            if (PQsendQueryPrepared(connection.handle, "latest_runs_of_devices", 0, nullptr, nullptr, nullptr, 1) !=
                    1 ||
                PQsetSingleRowMode(connection.handle) != 1) {
                fail(connection.handle, nullptr, "прочитать последние описи устройств");
            }
            std::exception_ptr stopped;
            for (PGresult* next; (next = PQgetResult(connection.handle)) != nullptr;) {
                if (stopped || PQresultStatus(next) == PGRES_TUPLES_OK) {
                    PQclear(next);  // the end of the rows, or rows after a stop
                    continue;
                }
                const Result row(connection.handle, next, "прочитать последние описи устройств");
                try {
                    visit(summaryAt(row, 0));
                    ++visited;
                } catch (...) {
                    // The rest is not wanted: ask the server to stop sending
                    // and read what was already on its way.
                    stopped = std::current_exception();
                    // A cancel that reaches the server late could stop a
                    // later request on this connection: it is not reused.
                    connection.unusable = true;
                    if (PGcancel* cancel = PQgetCancel(connection.handle)) {
                        char ignored[256];
                        PQcancel(cancel, ignored, sizeof ignored);
                        PQfreeCancel(cancel);
                    }
                }
            }
            if (stopped) std::rethrow_exception(stopped);
        },
        &visited);
}

std::vector<double> PostgresStore::latestMetricValues(std::string_view model, std::size_t metricIndex) {
    if (metricIndex >= fleetMetricCount) return {};
    // The column name comes from our own table, never from a request.
    const std::string column(fleetMetrics[metricIndex].id);
    const std::string sql =
        "SELECT " + column + " FROM runs WHERE newest AND model = $1 AND " + column + " IS NOT NULL";
    return withConnection([&](PostgresConnection& connection) {
        Parameters parameters;
        parameters.text(withoutZeroBytes(model));
        const Result rows = runMade(connection, sql, parameters, "прочитать измерения модели");
        std::vector<double> values;
        for (int row = 0; row < rows.rows(); ++row) values.push_back(*rows.real(row, 0));
        return values;
    });
}

}  // namespace nvx::depot
