// Everything a client sends reaches the depot's routes. The input is up to
// three raw HTTP requests, handled in turn by the depot's service (its
// routes installed on the HTTP library's server, fed from memory) over a
// store that already holds one record, delivered with the key "a"×64.
// Promise: no crash; never 500 (the store here never fails, so any 500
// would be the depot failing on malformed input); never 2xx for a record
// that is not stored: a 2xx submission is in the store under the id it
// answers with, a 2xx read-back is the stored bytes, a 2xx record page has
// its record.

#include <httplib.h>

#include <map>
#include <mutex>

#include "depot/depot_service.h"
#include "depot/depot_store.h"
#include "fuzz_support.h"
#include "support/sample_reports.h"

using namespace nvx;
using namespace nvx::depot;

namespace {

// Keeps records in memory, with the store's rules: same id and bytes add
// the key, other bytes are refused.
class MemoryStore final : public DepotStore {
public:
    struct Record {
        NewRun run;
        std::vector<KeyDigest> keys;
    };
    std::map<std::string, Record, std::less<>> records;

    StoreOutcome store(const NewRun& run) override {
        const auto found = records.find(run.id);
        if (found == records.end()) {
            records[run.id] = {run, {run.keyDigest}};
            return StoreOutcome::stored;
        }
        if (found->second.run.body != run.body) return StoreOutcome::differentBody;
        found->second.keys.push_back(run.keyDigest);
        return StoreOutcome::alreadyStored;
    }
    std::optional<StoredRun> find(std::string_view id) override {
        const auto found = records.find(id);
        if (found == records.end()) return std::nullopt;
        return StoredRun{found->second.run.id, found->second.run.body, found->second.run.receivedAt};
    }
    std::optional<StoredRun> findWithKey(std::string_view id, const KeyDigest& key) override {
        const auto found = records.find(id);
        if (found == records.end()) return std::nullopt;
        for (const auto& known : found->second.keys)
            if (sameDigest(known, key)) return find(id);
        return std::nullopt;
    }
    std::vector<RunListing> latest(std::size_t limit) override {
        std::vector<RunListing> listing;
        for (const auto& [id, record] : records) {
            if (listing.size() == limit) break;
            listing.push_back({id, record.run.receivedAt, record.run.name, record.run.owner, record.run.location,
                               record.run.model});
        }
        return listing;
    }
    // The fleet pages render from no fleet: what is fuzzed here is how the
    // routes take requests apart, not the queries behind them.
    std::vector<RunSummary> runsPage(const RunFilter&, const std::optional<RunCursor>&, PageDirection,
                                     std::size_t) override {
        return {};
    }
    std::vector<DeviceRun> deviceRuns(std::string_view) override { return {}; }
    std::vector<HardwareStep> hardwareSteps(const std::optional<RunCursor>&, std::size_t) override { return {}; }
    void forEachLatestRun(const std::function<void(const RunSummary&)>&) override {}
    std::vector<double> latestMetricValues(std::string_view, std::size_t) override { return {}; }
};

// One connection's bytes in memory: reads come from the request, writes
// collect the answer.
class MemoryStream final : public httplib::Stream {
public:
    explicit MemoryStream(std::string_view request) : request_(request) {}
    bool is_readable() const override { return true; }
    bool is_writable() const override { return true; }
    ssize_t read(char* buffer, size_t size) override {
        const size_t count = std::min(size, request_.size());
        std::copy_n(request_.data(), count, buffer);
        request_.remove_prefix(count);
        return static_cast<ssize_t>(count);
    }
    ssize_t write(const char* bytes, size_t size) override {
        answer.append(bytes, size);
        return static_cast<ssize_t>(size);
    }
    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        ip = "127.0.0.1";
        port = 40000;
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        ip = "127.0.0.1";
        port = 8916;
    }
    socket_t socket() const override { return INVALID_SOCKET; }

    std::string answer;

private:
    std::string_view request_;
};

// The library's server with its request handling reachable from memory.
class MemoryServer final : public httplib::Server {
public:
    std::string handle(std::string_view request) {
        MemoryStream stream(request);
        bool closed = false;
        process_request(stream, true, closed, nullptr);
        return stream.answer;
    }
};

int statusOf(const std::string& answer) {
    // "HTTP/1.1 200 OK"
    if (answer.size() < 12 || !answer.starts_with("HTTP/1.1 ")) return 0;
    return std::atoi(answer.substr(9, 3).c_str());
}

std::string bodyOf(const std::string& answer) {
    const auto end = answer.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : answer.substr(end + 4);
}

// The record already stored: a complete report, as a client sends it.
std::string seedBody() {
    RunReport report = testing::sampleReport();
    report.id = "seed-run";
    return report.data();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    MemoryStore store;
    NewRun seed;
    seed.id = "seed-run";
    seed.keyDigest = receiptKeyDigest(std::string(64, 'a'));
    static const std::string body = seedBody();
    seed.body = body;
    seed.receivedAt = "2026-03-01T09:15:00Z";
    store.store(seed);

    DepotService service(store, nullptr, [] { return std::string("2026-03-01T10:00:00Z"); });
    MemoryServer server;
    service.install(server);
    // The request as the HTTP library read it, for judging the answer. The
    // service's own logger only writes the log, which this service has not.
    struct Seen {
        std::string method, path;
        std::optional<std::string> run;
    } seen;
    server.set_logger([&seen](const httplib::Request& request, const httplib::Response&) {
        seen = {request.method, request.path,
                request.has_param("run") ? std::optional(request.get_param_value("run")) : std::nullopt};
    });

    for (const std::string_view request : fuzz::pieces(fuzz::bytesOf(data, size), 3)) {
        if (request.empty()) continue;
        const std::size_t recordsBefore = store.records.size();
        seen = {};
        const std::string answer = server.handle(request);
        const int status = statusOf(answer);
        fuzz::require(status != 500, "malformed input never makes the depot fail", answer);
        if (status < 200 || status > 299) {
            fuzz::require(store.records.size() == recordsBefore, "a refusal stores nothing", answer);
            continue;
        }
        const std::string body = bodyOf(answer);
        if (seen.method == "POST") {
            // A stored submission answers {"id": …} with the id it was stored under.
            const auto reply = nlohmann::json::parse(body, nullptr, false);
            fuzz::require(reply.is_object() && reply.contains("id") && reply["id"].is_string() &&
                              store.records.contains(reply["id"].get<std::string>()),
                          "a 2xx submission is stored", answer);
        } else if (seen.path.starts_with("/api/runs/") && seen.method == "HEAD") {
            fuzz::require(store.records.contains(seen.path.substr(10)), "a 2xx read-back is a stored record", answer);
        } else if (seen.path.starts_with("/api/runs/")) {
            bool stored = false;
            for (const auto& [id, record] : store.records) stored = stored || record.run.body == body;
            fuzz::require(stored, "a 2xx read-back is a stored record", answer);
        } else if (seen.path == "/" && seen.run) {
            fuzz::require(store.records.contains(*seen.run), "a 2xx record page has its record", "run=" + *seen.run);
        }
    }
    return 0;
}
