#pragma once

#include <httplib.h>

#include <functional>
#include <memory>
#include <string>

#include "core/report_limits.h"
#include "depot/depot_store.h"
#include "depot/viewers.h"

namespace nvx::depot {

// How many records the start page lists.
inline constexpr std::size_t listedRecords = 100;

class DepotServer;

// The depot's HTTP interface over a store:
//   POST /api/runs           a report with its receipt key → 200 {"id": …}
//   GET  /api/runs/<id>      the stored bytes, to any key that delivered them
//   GET  /?run=<id>          the record's page, open to whoever has the link
//   GET  /                   the latest records: viewers only (fleetAccess)
// Refusals of the API carry a JSON object with a Russian "error".
class DepotService {
public:
    using LogLine = std::function<void(const std::string& line)>;
    using Clock = std::function<std::string()>;  // now, ISO 8601 UTC
    // The current viewers, or null when the depot has none (local only).
    using ViewerSource = std::function<std::shared_ptr<const ViewerList>()>;

    DepotService(DepotStore& store, LogLine log, Clock clock = utcNow, ViewerSource viewers = nullptr);

    // Installs routes, limits and the request log on a server that has not
    // started yet. The service and the store must outlive the server.
    void install(httplib::Server& server);
    // The same, and the log of the refusals the depot's server gives itself.
    void install(DepotServer& server);

    void logRequest(const httplib::Request& request, const httplib::Response& response);

    static std::string utcNow();

private:
    void submit(const httplib::Request& request, httplib::Response& response);
    void readBack(const httplib::Request& request, httplib::Response& response);
    void page(const httplib::Request& request, httplib::Response& response);
    // False (with the answer set) when the request may not see fleet-wide pages.
    bool mayViewFleet(const httplib::Request& request, httplib::Response& response);

    DepotStore& store_;
    LogLine log_;
    Clock clock_;
    ViewerSource viewers_;
};

}  // namespace nvx::depot
