#include "depot/open_depot_store.h"

#include <filesystem>
#include <system_error>

#include "depot/postgres_store.h"
#include "depot/sqlite_store.h"

namespace nvx::depot {

bool isPostgresURI(std::string_view database) {
    return database.starts_with("postgresql://") || database.starts_with("postgres://");
}

OpenedStore openDepotStore(const std::string& database) {
    if (isPostgresURI(database)) {
        auto store = std::make_unique<PostgresStore>(database);
        std::string description = "PostgreSQL " + store->target();
        return {std::move(store), std::move(description)};
    }
    const std::filesystem::path file = database;
    if (file.has_parent_path()) {
        std::error_code folderError;
        std::filesystem::create_directories(file.parent_path(), folderError);
        if (folderError) {
            throw StorageError("Не удалось создать папку «" + file.parent_path().string() +
                               "»: " + folderError.message());
        }
    }
    return {std::make_unique<SqliteStore>(file), file.string()};
}

}  // namespace nvx::depot
