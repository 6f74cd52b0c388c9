#pragma once

#include <string>

#include "depot/depot_store.h"
#include "depot/postgres_pool.h"

namespace nvx::depot {

// Reports in a PostgreSQL database, for organisations that run several
// depot processes (behind one name) on one database. What store() writes is
// committed before it returns; a record's id is unique in the
// database, so the same report sent to two processes at once is stored once
// and acknowledged by both. Statements are prepared once per connection and
// take their values only as parameters.
class PostgresStore final : public DepotStore {
public:
    // Connects, then creates or migrates the tables. Throws
    // StorageUnavailable when the database cannot be reached (within the
    // connect timeout), StorageError when its layout is newer than this
    // depot's or cannot be brought up to date.
    explicit PostgresStore(std::string uri, std::size_t maximumConnections = 16);

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

    // "host:port/database", for the log; never the password.
    const std::string& target() const { return pool_.target(); }

private:
    void createOrUpgradeTables();
    // Runs `work` on a borrowed connection. A connection that broke is
    // replaced once when it had been idle (the server may have restarted
    // since) and nothing was `delivered` yet; otherwise a broken connection
    // is StorageUnavailable.
    template <typename Work>
    auto withConnection(Work work, const std::size_t* delivered = nullptr);

    PostgresPool pool_;
};

}  // namespace nvx::depot
