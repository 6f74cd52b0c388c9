#pragma once

#include <sqlite3.h>

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/errors.h"
#include "depot/receipt_key_digest.h"

namespace nvx::depot {

// The database could not be opened, read or written.
class StorageError : public PlatformError {
public:
    using PlatformError::PlatformError;
};

// One report as received: the body bytes exactly as posted, plus the few
// fields the listing shows, taken from the report when it was accepted.
struct NewRun {
    std::string id;
    KeyDigest keyDigest{};
    std::string body;
    std::string receivedAt;  // ISO 8601, UTC
    std::string name;
    std::string owner;
    std::string location;
    std::string model;
};

struct StoredRun {
    std::string id;
    KeyDigest keyDigest{};
    std::string body;
    std::string receivedAt;
};

struct RunListing {
    std::string id;
    std::string receivedAt;
    std::string name;
    std::string owner;
    std::string location;
    std::string model;
};

enum class StoreOutcome {
    stored,             // a new record, committed
    alreadyStored,      // the same id, key and bytes were stored before
    takenByAnotherKey,  // the id belongs to another submission
    differentBody,      // same id and key, but other bytes: the record stays as it was
};

// Reports in one SQLite file in WAL mode. A record is committed to disk
// before store() returns, so whatever the server acknowledged survives a
// crash of the process. Writes go through one connection, one at a time;
// reads use connections of their own and run beside a write. Safe to use
// from any number of threads.
class DepotStore {
public:
    // Opens or creates the database (not its folder). Throws StorageError.
    explicit DepotStore(const std::filesystem::path& file);
    ~DepotStore();
    DepotStore(const DepotStore&) = delete;
    DepotStore& operator=(const DepotStore&) = delete;

    StoreOutcome store(const NewRun& run);
    std::optional<StoredRun> find(std::string_view id);
    // Newest first.
    std::vector<RunListing> latest(std::size_t limit);

private:
    // A read connection used by one thread at a time, given back afterwards.
    class ReaderLease {
    public:
        explicit ReaderLease(DepotStore& store) : store_(store), connection_(store.borrowReader()) {}
        ~ReaderLease() { store_.giveBackReader(connection_); }
        ReaderLease(const ReaderLease&) = delete;
        ReaderLease& operator=(const ReaderLease&) = delete;
        sqlite3* get() const { return connection_; }

    private:
        DepotStore& store_;
        sqlite3* connection_;
    };

    sqlite3* openConnection();
    sqlite3* borrowReader();
    void giveBackReader(sqlite3* connection);

    std::filesystem::path file_;
    std::mutex writerLock_;
    sqlite3* writer_ = nullptr;
    std::mutex readersLock_;
    std::vector<sqlite3*> idleReaders_;
};

}  // namespace nvx::depot
