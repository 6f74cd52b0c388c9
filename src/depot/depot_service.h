#pragma once

#include <httplib.h>

#include <functional>
#include <string>

#include "depot/depot_store.h"

namespace nvx::depot {

// The largest report body the depot accepts.
inline constexpr std::size_t maximumReportBytes = 32u * 1024u * 1024u;
// How many records the start page lists.
inline constexpr std::size_t listedRecords = 100;

// The depot's HTTP interface over a store:
//   POST /api/runs           a report with its receipt key → 200 {"id": …}
//   GET  /api/runs/<id>      the stored bytes, to the same key only
//   GET  /?run=<id>          the record's page;  GET /  the latest records
// Refusals of the API carry a JSON object with a Russian "error".
class DepotService {
public:
    using LogLine = std::function<void(const std::string& line)>;
    using Clock = std::function<std::string()>;  // now, ISO 8601 UTC

    DepotService(DepotStore& store, LogLine log, Clock clock = utcNow);

    // Installs routes, limits and the request log on a server that has not
    // started yet. The service and the store must outlive the server.
    void install(httplib::Server& server);

    static std::string utcNow();

private:
    void submit(const httplib::Request& request, httplib::Response& response);
    void readBack(const httplib::Request& request, httplib::Response& response);
    void page(const httplib::Request& request, httplib::Response& response);
    void logRequest(const httplib::Request& request, const httplib::Response& response);

    DepotStore& store_;
    LogLine log_;
    Clock clock_;
};

}  // namespace nvx::depot
