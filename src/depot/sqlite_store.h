#pragma once

#include <sqlite3.h>

#include <condition_variable>
#include <exception>
#include <filesystem>
#include <mutex>
#include <vector>

#include "depot/depot_store.h"

namespace nvx::depot {

// Reports in one SQLite file in WAL mode, flushed to the device before a
// write returns (synchronous=FULL). Writes go through one connection:
// concurrent store() calls are gathered into one transaction and share its
// flush (group commit), so the disk's flush time does not cap how many
// reports per second can be accepted. Reads use connections of their own and
// run beside a write.
class SqliteStore final : public DepotStore {
public:
    // Opens or creates the database (not its folder) and brings an older
    // file's layout up to date. Throws StorageError.
    explicit SqliteStore(const std::filesystem::path& file);
    ~SqliteStore() override;
    SqliteStore(const SqliteStore&) = delete;
    SqliteStore& operator=(const SqliteStore&) = delete;

    StoreOutcome store(const NewRun& run) override;
    std::optional<StoredRun> find(std::string_view id) override;
    std::optional<StoredRun> findWithKey(std::string_view id, const KeyDigest& key) override;
    std::vector<RunListing> latest(std::size_t limit) override;
    std::vector<RunSummary> runsPage(const RunFilter& filter, const std::optional<RunCursor>& cursor,
                                     PageDirection direction, std::size_t limit) override;
    std::vector<DeviceRun> deviceRuns(std::string_view deviceId) override;
    std::vector<HardwareStep> hardwareSteps(const std::optional<RunCursor>& cursor, std::size_t limit) override;
    void forEachLatestRun(const std::function<void(const RunSummary&)>& visit) override;
    std::vector<double> latestMetricValues(std::string_view model, std::size_t metricIndex) override;

    // Stores many records in one transaction with one flush, for seeding
    // large databases in benchmarks; what store() does for each, otherwise.
    // Not part of DepotStore: the depot itself takes reports one by one.
    // Throws StorageError (and then stores none of them).
    std::vector<StoreOutcome> storeAll(const std::vector<NewRun>& runs);

private:
    // A read connection used by one thread at a time, given back afterwards.
    class ReaderLease {
    public:
        explicit ReaderLease(SqliteStore& store) : store_(store), connection_(store.borrowReader()) {}
        ~ReaderLease() { store_.giveBackReader(connection_); }
        ReaderLease(const ReaderLease&) = delete;
        ReaderLease& operator=(const ReaderLease&) = delete;
        sqlite3* get() const { return connection_; }

    private:
        SqliteStore& store_;
        sqlite3* connection_;
    };

    sqlite3* openConnection();
    sqlite3* borrowReader();
    void giveBackReader(sqlite3* connection);
    void createOrUpgradeTables();
    // Layout step 3 for a file of step 1 or 2 (inside the open transaction).
    void addFleetColumns();
    // Inserts a new record with its columns and keeps its device's marks right.
    void insertRun(const NewRun& run);

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
