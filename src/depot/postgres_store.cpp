#include "depot/postgres_store.h"

#include <charconv>
#include <cstring>
#include <deque>

namespace nvx::depot {
namespace {

// The layout, in steps. A database records the last step applied in
// `schema_version`; a depot applies the later ones at start and refuses a
// database that has steps it does not know. The numbers are those of the
// SQLite layout, so one number means the same records on both.
struct Migration {
    int version;
    const char* sql;
};
constexpr Migration migrations[] = {
    {1,
     "CREATE TABLE runs ("
     " sequence bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,"
     " id text NOT NULL UNIQUE,"
     " body bytea NOT NULL,"
     " received_at text NOT NULL,"
     " name text NOT NULL,"
     " owner text NOT NULL,"
     " location text NOT NULL,"
     " model text NOT NULL)"},
    {2,
     "CREATE TABLE receipt_keys ("
     " id text NOT NULL REFERENCES runs (id),"
     " key_sha256 bytea NOT NULL,"
     " PRIMARY KEY (id, key_sha256))"},
};
constexpr int schemaVersion = migrations[std::size(migrations) - 1].version;

// Depots starting together on a fresh database take turns at creating it.
constexpr const char* migrationLock = "SELECT pg_advisory_xact_lock(7239017010)";

// Every statement the store runs, prepared once on each connection.
struct PreparedStatement {
    const char* name;
    const char* sql;
};
constexpr PreparedStatement statements[] = {
    // A new record and its key in one statement, committed on its own: the
    // usual case costs one round trip. Another depot storing the same id at
    // this moment makes the insert wait for its commit and then do nothing.
    {"insert_new_run",
     "WITH inserted AS ("
     " INSERT INTO runs (id, body, received_at, name, owner, location, model)"
     " VALUES ($1, $2, $3, $4, $5, $6, $7) ON CONFLICT (id) DO NOTHING RETURNING id),"
     " key AS (INSERT INTO receipt_keys (id, key_sha256) SELECT id, $8 FROM inserted)"
     " SELECT count(*) FROM inserted"},
    {"run_body", "SELECT body FROM runs WHERE id = $1"},
    {"insert_key", "INSERT INTO receipt_keys (id, key_sha256) VALUES ($1, $2) ON CONFLICT DO NOTHING"},
    {"find_run", "SELECT body, received_at FROM runs WHERE id = $1"},
    // The record with all its key digests run together (32 bytes each).
    {"find_run_with_keys",
     "SELECT body, received_at,"
     " (SELECT coalesce(string_agg(key_sha256, ''::bytea), ''::bytea) FROM receipt_keys k WHERE k.id = runs.id)"
     " FROM runs WHERE id = $1"},
    {"latest_runs", "SELECT id, received_at, name, owner, location, model FROM runs ORDER BY sequence DESC LIMIT $1"},
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
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
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
    // A column in binary form: text and bytea are their bytes as they are.
    std::string bytes(int row, int column) const {
        return std::string(PQgetvalue(result_, row, column), PQgetlength(result_, row, column));
    }

private:
    PGresult* result_;
};

// Parameter values, all sent in binary form: text and bytea as their bytes,
// integers as 8 bytes in network order.
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

}  // namespace

PostgresStore::PostgresStore(std::string uri, std::size_t maximumConnections)
    : pool_(std::move(uri), maximumConnections) {
    createOrUpgradeTables();
}

template <typename Work>
auto PostgresStore::withConnection(Work work) {
    for (int attempt = 0;; ++attempt) {
        PostgresPool::Lease connection = pool_.borrow();
        try {
            return work(*connection);
        } catch (const StorageUnavailable&) {
            // Every operation may be repeated: a store() whose commit did
            // happen finds its record and answers alreadyStored.
            pool_.discardIdle();
            if (connection.fresh() || attempt > 0) throw;
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
            .bytes(run.keyDigest.data(), run.keyDigest.size());
        const Result inserted = runPrepared(connection, "insert_new_run", newRun, "сохранить опись");
        if (inserted.integer(0, 0) == 1) return StoreOutcome::stored;

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

}  // namespace nvx::depot
