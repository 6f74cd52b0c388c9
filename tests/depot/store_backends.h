#pragma once

// The backends the storage tests run on: a database of each kind, opened by
// as many store objects as a test wants (as several depot processes would).
// Suites over them must have "Postgres" in the name of their PostgreSQL
// instance, which typed suites named by StoreBackendNames have.

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <sqlite3.h>

#include <memory>
#include <string>
#include <type_traits>

#include "depot/postgres_store.h"
#include "depot/sqlite_store.h"
#include "support/private_postgres.h"
#include "support/scratch_folder.h"

namespace nvx::depot {

class SqliteDatabase {
public:
    std::unique_ptr<DepotStore> open() { return std::make_unique<SqliteStore>(file()); }
    // Records a later layout than this depot knows, as a newer depot would.
    void recordLayoutVersion(int version) {
        sqlite3* database = nullptr;
        ASSERT_EQ(sqlite3_open(file().c_str(), &database), SQLITE_OK);
        const std::string sql = "UPDATE schema_version SET version = " + std::to_string(version);
        EXPECT_EQ(sqlite3_exec(database, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(database);
    }

private:
    std::filesystem::path file() const { return folder_.path() / "depot.sqlite"; }
    testing::ScratchFolder folder_;
};

class PostgresDatabase {
public:
    std::unique_ptr<DepotStore> open() { return std::make_unique<PostgresStore>(uri_); }
    void recordLayoutVersion(int version) {
        PGconn* connection = PQconnectdb(uri_.c_str());
        const std::string sql = "UPDATE schema_version SET version = " + std::to_string(version);
        PGresult* result = PQexec(connection, sql.c_str());
        EXPECT_EQ(PQresultStatus(result), PGRES_COMMAND_OK) << PQerrorMessage(connection);
        PQclear(result);
        PQfinish(connection);
    }

private:
    std::string uri_ = testing::privatePostgres().freshDatabase();
};

struct StoreBackendNames {
    template <typename Database>
    static std::string GetName(int) {
        return std::is_same_v<Database, SqliteDatabase> ? "Sqlite" : "Postgres";
    }
};

using StoreBackends = ::testing::Types<SqliteDatabase, PostgresDatabase>;

}  // namespace nvx::depot
