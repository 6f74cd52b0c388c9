#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "depot/depot_store.h"

namespace nvx::depot {

// "postgresql://…" or "postgres://…": a libpq connection URI rather than the
// path of a SQLite file.
bool isPostgresURI(std::string_view database);

struct OpenedStore {
    std::unique_ptr<DepotStore> store;
    std::string description;  // for the log: the file, or PostgreSQL's host and database without the password
};

// The store `--db` names: PostgreSQL for a connection URI, else the SQLite
// file at that path (its folder created when missing). Throws StorageError
// (StorageUnavailable when PostgreSQL cannot be reached).
OpenedStore openDepotStore(const std::string& database);

}  // namespace nvx::depot
