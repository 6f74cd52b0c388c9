#pragma once

#include <sqlite3.h>

#include <condition_variable>
#include <exception>
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
// crash of the process. Writes go through one connection: concurrent
// store() calls are gathered into one transaction and share its flush to
// the device (group commit), so the disk's flush time does not cap how many
// reports per second can be accepted. Reads use connections of their own and
// run beside a write. Safe to use from any number of threads.
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

    // One store() call waiting for its write.
    struct PendingWrite {
        const NewRun* run = nullptr;
        StoreOutcome outcome = StoreOutcome::stored;
        std::exception_ptr error;
        bool done = false;
    };
    // Writes a batch in one transaction; fills in every outcome or error.
    void writeBatch(const std::vector<PendingWrite*>& batch) noexcept;

    std::filesystem::path file_;
    sqlite3* writer_ = nullptr;  // used only by the thread writing a batch
    std::mutex queueLock_;
    std::condition_variable batchWritten_;
    std::vector<PendingWrite*> queue_;
    bool writing_ = false;
    std::mutex readersLock_;
    std::vector<sqlite3*> idleReaders_;
};

}  // namespace nvx::depot
