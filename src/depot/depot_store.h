#pragma once

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

// The database server cannot be reached or the connection to it broke: the
// request may succeed once it is back, so the depot answers 503, and nothing
// of the request counts as committed.
class StorageUnavailable : public StorageError {
public:
    using StorageError::StorageError;
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
};

}  // namespace nvx::depot
