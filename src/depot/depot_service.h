#pragma once

#include <httplib.h>

#include <functional>
#include <memory>
#include <string>

#include "core/report.h"
#include "core/report_limits.h"
#include "depot/depot_store.h"
#include "depot/html_pages.h"
#include "depot/viewers.h"

namespace nvx::depot {

class DepotServer;

// The depot's HTTP interface over a store:
//   POST /api/runs           a report with its receipt key → 200 {"id": …}
//   GET  /api/runs/<id>      the stored bytes, to any key that delivered them
//   GET  /?run=<id>          the record's page, open to whoever has the link
//   GET  /                   the fleet list, filtered and paged: viewers only (fleetAccess)
//   GET  /devices/<id>       one computer's records, charts and hardware changes: viewers only
//   GET  /changes            the fleet's hardware changes: viewers only
//   GET  /export.csv, /export.json   the newest record per device, streamed: viewers only
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
    void listPage(const httplib::Request& request, httplib::Response& response);
    void recordPage(const httplib::Request& request, httplib::Response& response);
    void devicePage(const httplib::Request& request, httplib::Response& response);
    void changesPage(const httplib::Request& request, httplib::Response& response);
    void exportLatest(const httplib::Request& request, httplib::Response& response, bool csv);
    // Where each measured metric of the report stands among its model's computers.
    std::vector<MetricStanding> standingsOf(const RunReport& report);
    // False (with the answer set) when the request may not see fleet-wide pages.
    bool mayViewFleet(const httplib::Request& request, httplib::Response& response);

    DepotStore& store_;
    LogLine log_;
    Clock clock_;
    ViewerSource viewers_;
};

}  // namespace nvx::depot
