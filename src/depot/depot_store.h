#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/errors.h"
#include "depot/fleet_metrics.h"
#include "depot/receipt_key_digest.h"

namespace nvx::depot {

// The database could not be opened, read or written.
class StorageError : public PlatformError {
public:
    using PlatformError::PlatformError;
};

// The database server cannot be reached or the connection to it broke: the
// request may succeed once it is back, so the depot answers 503, and nothing
// of the request counts as committed.
class StorageUnavailable : public StorageError {
public:
    using StorageError::StorageError;
};

// One report as received: the body bytes exactly as posted, plus the
// fields the fleet pages show and search, taken from the report when it was
// accepted (fleetColumns() in run_columns.h fills them).
struct NewRun {
    std::string id;
    KeyDigest keyDigest{};
    std::string body;
    std::string receivedAt;  // ISO 8601, UTC: "2026-03-01T09:15:00Z"
    std::string name;
    std::string owner;
    std::string location;
    std::string model;
    std::string deviceId;  // empty: the report named no device
    std::string chip;
    std::uint64_t memoryBytes = 0;
    FleetMetricValues metrics;
    std::string hardware;  // HardwareProfile::encoded(): equal texts, same hardware
};

struct StoredRun {
    std::string id;
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

// One line of the fleet list and of the exports.
struct RunSummary {
    std::string id;
    std::string receivedAt;
    std::string name;
    std::string owner;
    std::string location;
    std::string model;
    std::string deviceId;
    std::string chip;
    std::uint64_t memoryBytes = 0;
    FleetMetricValues metrics;
};

// A record's place in the fleet's order: newest first means descending
// (receivedAt, id). Pages continue from a cursor, never from an offset, so a
// record arriving meanwhile neither repeats nor hides a line.
struct RunCursor {
    std::string receivedAt;
    std::string id;
    friend bool operator==(const RunCursor&, const RunCursor&) = default;
};

// Which records the fleet list shows; an empty field does not narrow it.
struct RunFilter {
    std::string model;           // the model exactly
    std::string text;            // found in name, owner or location, letter case aside (Latin and Cyrillic)
    std::string deviceId;        // the device exactly
    std::string receivedFrom;    // receivedAt >= this (ISO text, compared as text)
    std::string receivedBefore;  // receivedAt < this
};

enum class PageDirection {
    older,  // the records after the cursor in newest-first order
    newer,  // the records before it (the previous page)
};

// A record of one device with its hardware profile.
struct DeviceRun {
    RunSummary run;
    std::string hardware;
};

// A record whose hardware profile differs from the one of the record before
// it from the same device.
struct HardwareStep {
    RunSummary run;
    std::string hardwareBefore;
    std::string hardwareAfter;
};

enum class StoreOutcome {
    stored,         // a new record, committed
    alreadyStored,  // the same id and bytes were stored before; the key now reads it too
    differentBody,  // the id was stored with other bytes: the record stays as it was
};

// Where the depot keeps its records. A record is committed to durable
// storage before store() returns, so whatever the server acknowledged
// survives a crash. A record keeps every receipt key that delivered its
// bytes: a client that lost the answer to its submission and sends the same
// report again with a new key must be able to read it back with that key.
// Implementations are safe to use from any number of threads.
//
// A device's records are ordered by (receivedAt, id); its newest record is
// the last in that order, and the record "before" another is the one just
// ahead of it. Stores keep what the fleet queries need up to date as records
// arrive, in the same transaction as the record itself.
class DepotStore {
public:
    virtual ~DepotStore() = default;

    // Throws StorageError when the record could not be committed.
    virtual StoreOutcome store(const NewRun& run) = 0;
    // The record whatever key asks (for its page); nullopt when unknown.
    virtual std::optional<StoredRun> find(std::string_view id) = 0;
    // The record only when `key` is one of its receipt keys; an unknown id and
    // a foreign key both give nullopt. Keys are compared in constant time.
    virtual std::optional<StoredRun> findWithKey(std::string_view id, const KeyDigest& key) = 0;
    // Newest first.
    virtual std::vector<RunListing> latest(std::size_t limit) = 0;

    // Fleet queries. Records without a device id belong to no device: they
    // are listed and filtered, but have no device page, no hardware steps and
    // no place in exports or percentiles. Throw StorageError.

    // Up to `limit` records that pass `filter`, always newest first. Without
    // a cursor: the newest ones. With one: the next older records after it,
    // or (direction newer) the newer records just before it.
    virtual std::vector<RunSummary> runsPage(const RunFilter& filter, const std::optional<RunCursor>& cursor,
                                             PageDirection direction, std::size_t limit) = 0;
    // Every record of one device, oldest first.
    virtual std::vector<DeviceRun> deviceRuns(std::string_view deviceId) = 0;
    // Records whose hardware differs from their device's record before them,
    // newest first, up to `limit`, older than `cursor` when given.
    virtual std::vector<HardwareStep> hardwareSteps(const std::optional<RunCursor>& cursor, std::size_t limit) = 0;
    // The newest record of every device, in device id order, handed to
    // `visit` one by one as they are read (an export streams them out).
    // `visit` may throw to stop; the exception is passed on.
    virtual void forEachLatestRun(const std::function<void(const RunSummary&)>& visit) = 0;
    // The value of metric `metricIndex` (into fleetMetrics) in the newest
    // record of every device of `model`, where that record has one.
    virtual std::vector<double> latestMetricValues(std::string_view model, std::size_t metricIndex) = 0;
};

}  // namespace nvx::depot
