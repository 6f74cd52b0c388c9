#include "depot/depot_service.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <ctime>

#include <nlohmann/json.hpp>

#include "core/report_json.h"
#include "depot/changes_page.h"
#include "depot/depot_server.h"
#include "depot/device_page.h"
#include "depot/fleet_access.h"
#include "depot/fleet_export.h"
#include "depot/fleet_list_page.h"
#include "depot/fleet_query.h"
#include "depot/hardware_profile.h"
#include "depot/html_pages.h"
#include "depot/receipt_key_digest.h"
#include "depot/run_columns.h"

namespace nvx::depot {
namespace {

constexpr const char* receiptKeyHeader = "X-NVX-Receipt-Key";
constexpr const char* jsonType = "application/json; charset=utf-8";
constexpr const char* htmlType = "text/html; charset=utf-8";

// Identifiers are UUIDs in practice; anything longer than this is not one
// of ours and would only bloat the database and the pages.
constexpr std::size_t maximumIdentifierBytes = 256;

void refuse(httplib::Response& response, int status, const std::string& message) {
    response.status = status;
    response.set_content(nlohmann::json{{"error", message}}.dump(), jsonType);
}

// The database is out of reach for now: nothing was committed, and the same
// request may succeed in a moment.
void refuseForNow(httplib::Response& response) {
    refuse(response, 503, "Склад сейчас не может связаться со своей базой; повторите запрос немного позже.");
    response.set_header("Retry-After", "5");
}

// "application/json", with or without parameters such as a charset, in any
// letter case.
bool isJSONContentType(const std::string& value) {
    std::string type = value.substr(0, value.find(';'));
    while (!type.empty() && (type.back() == ' ' || type.back() == '\t')) type.pop_back();
    if (type.size() != 16) return false;
    for (char& c : type) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return type == "application/json";
}

bool isUsableIdentifier(const std::string& id) {
    if (id.empty() || id.size() > maximumIdentifierBytes) return false;
    for (unsigned char c : id) {
        if (c < 0x20 || c == 0x7F) return false;
    }
    return true;
}

// Pages show report texts; they never run anything from them. Fleet pages
// must not linger in shared caches.
void setPageHeaders(httplib::Response& response, bool fleetWide) {
    response.set_header("Content-Security-Policy", "default-src 'none'; style-src 'unsafe-inline'");
    response.set_header("X-Content-Type-Options", "nosniff");
    if (fleetWide) response.set_header("Cache-Control", "private, no-store");
}

// Hardware steps read per batch while looking for changes of one kind, and
// at most this many per page, so a rare kind cannot make one request read
// the whole history.
constexpr std::size_t changeStepsPerBatch = 200;
constexpr std::size_t changeStepsPerPage = 5000;

// Export rows are gathered into pieces of about this size before they are sent.
constexpr std::size_t exportPieceBytes = 64 * 1024;

// Request targets come from the network: keep log lines one line of
// printable text.
std::string printable(const std::string& text) {
    std::string result;
    result.reserve(text.size());
    for (unsigned char c : text) result.push_back(c < 0x20 || c == 0x7F ? '?' : static_cast<char>(c));
    return result;
}

}  // namespace

DepotService::DepotService(DepotStore& store, LogLine log, Clock clock, ViewerSource viewers)
    : store_(store), log_(std::move(log)), clock_(std::move(clock)), viewers_(std::move(viewers)) {}

std::string DepotService::utcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    gmtime_r(&now, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

void DepotService::install(DepotServer& server) {
    install(static_cast<httplib::Server&>(server));
    server.setRefusalLogger(
        [this](const httplib::Request& request, const httplib::Response& response) { logRequest(request, response); });
}

void DepotService::install(httplib::Server& server) {
    // The depot's own server refuses larger bodies before reading them; this
    // keeps the library's limit in step.
    server.set_payload_max_length(maximumReportBytes);

    server.Post("/api/runs", [this](const httplib::Request& request, httplib::Response& response) {
        submit(request, response);
    });
    server.Get("/api/runs/(.+)", [this](const httplib::Request& request, httplib::Response& response) {
        readBack(request, response);
    });
    server.Get("/", [this](const httplib::Request& request, httplib::Response& response) { page(request, response); });
    server.Get("/devices/(.+)", [this](const httplib::Request& request, httplib::Response& response) {
        devicePage(request, response);
    });
    server.Get("/changes", [this](const httplib::Request& request, httplib::Response& response) {
        changesPage(request, response);
    });
    server.Get("/export.csv", [this](const httplib::Request& request, httplib::Response& response) {
        exportLatest(request, response, true);
    });
    server.Get("/export.json", [this](const httplib::Request& request, httplib::Response& response) {
        exportLatest(request, response, false);
    });

    // Statuses the library sets itself (unknown route, body too large, bad
    // request line) still answer with a readable reason.
    server.set_error_handler([](const httplib::Request&, httplib::Response& response) {
        if (!response.body.empty()) return;
        switch (response.status) {
        case 404: refuse(response, 404, "Такого адреса на складе нет."); break;
        case 413: refuse(response, 413, "Опись больше 32 МиБ; склад такие не принимает."); break;
        case 500:
            refuse(response, 500, "Склад не смог обработать запрос.");
            break;
        default: refuse(response, response.status, "Склад не понял запрос."); break;
        }
    });
    // A failing handler answers 500 (503 while the database is out of reach)
    // and the depot goes on. The reason goes to the operator's log, not to
    // the client.
    server.set_exception_handler(
        [this](const httplib::Request& request, httplib::Response& response, std::exception_ptr error) {
            std::string detail = "неизвестная ошибка";
            bool unavailable = false;
            try {
                std::rethrow_exception(error);
            } catch (const StorageUnavailable& caught) {
                detail = caught.what();
                unavailable = true;
            } catch (const std::exception& caught) {
                detail = caught.what();
            } catch (...) {
            }
            if (log_)
                log_("nvx-depot: запрос " + printable(request.method) + " " + printable(request.target) +
                     " не обработан: " + printable(detail));
            if (unavailable) {
                refuseForNow(response);
                return;
            }
            refuse(response, 500, "Склад не смог обработать запрос.");
        });
    server.set_logger([this](const httplib::Request& request, const httplib::Response& response) {
        logRequest(request, response);
    });
}

void DepotService::submit(const httplib::Request& request, httplib::Response& response) {
    if (!isJSONContentType(request.get_header_value("Content-Type"))) {
        refuse(response, 415, "Склад принимает опись только как JSON (Content-Type: application/json).");
        return;
    }
    const std::string key = request.get_header_value(receiptKeyHeader);
    if (!isWellFormedReceiptKey(key)) {
        refuse(response, 400,
               "Опись без ключа получения не принята: нужен заголовок X-NVX-Receipt-Key из 64 строчных "
               "шестнадцатеричных цифр.");
        return;
    }
    RunReport report;
    try {
        report = RunReport::decode(request.body);
    } catch (const ParseError& error) {
        refuse(response, 400, std::string("Склад не принял опись. ") + error.what());
        return;
    }
    if (!isUsableIdentifier(report.id)) {
        refuse(response, 400, "Склад не принял опись: у неё нет пригодного идентификатора.");
        return;
    }

    NewRun run = fleetColumns(report);
    run.keyDigest = receiptKeyDigest(key);
    run.body = request.body;
    run.receivedAt = clock_();
    StoreOutcome outcome;
    try {
        outcome = store_.store(run);
    } catch (const StorageUnavailable& error) {
        if (log_) log_(std::string("nvx-depot: опись ") + printable(report.id) + " не сохранена: " + error.what());
        refuseForNow(response);
        return;
    } catch (const StorageError& error) {
        refuse(response, 500, error.what());
        return;
    }
    switch (outcome) {
    case StoreOutcome::stored:
    case StoreOutcome::alreadyStored:
        response.set_content(nlohmann::json{{"id", report.id}}.dump(), jsonType);
        return;
    case StoreOutcome::differentBody:
        refuse(response, 409, "Опись с этим идентификатором уже принята с другим содержимым.");
        return;
    }
}

void DepotService::readBack(const httplib::Request& request, httplib::Response& response) {
    // An unknown id and a wrong key get the same answer, so the API does not
    // tell which records exist.
    constexpr const char* notYours = "Склад не выдаёт эту опись без её ключа получения.";
    const std::string key = request.get_header_value(receiptKeyHeader);
    if (!isWellFormedReceiptKey(key)) {
        refuse(response, 401, notYours);
        return;
    }
    const auto stored = store_.findWithKey(request.matches[1].str(), receiptKeyDigest(key));
    if (!stored) {
        refuse(response, 401, notYours);
        return;
    }
    response.set_header("Cache-Control", "no-store");
    response.set_content(stored->body, "application/json");
}

bool DepotService::mayViewFleet(const httplib::Request& request, httplib::Response& response) {
    const std::shared_ptr<const ViewerList> viewers = viewers_ ? viewers_() : nullptr;
    switch (fleetAccess(request, viewers.get())) {
        case FleetAccess::granted:
            return true;
        case FleetAccess::credentialsNeeded:
            response.status = 401;
            response.set_header("WWW-Authenticate", "Basic realm=\"nvx-depot\"");
            response.set_content(fleetClosedPage(true), htmlType);
            return false;
        case FleetAccess::forbidden:
            response.status = 403;
            response.set_content(fleetClosedPage(false), htmlType);
            return false;
    }
    return false;
}

void DepotService::page(const httplib::Request& request, httplib::Response& response) {
    if (request.has_param("run")) {
        recordPage(request, response);
    } else {
        listPage(request, response);
    }
}

void DepotService::listPage(const httplib::Request& request, httplib::Response& response) {
    setPageHeaders(response, true);
    if (!mayViewFleet(request, response)) return;
    const ListRequest list = parseListRequest([&request](const char* name) { return request.get_param_value(name); });
    // One more than shown tells whether there is a page beyond.
    std::vector<RunSummary> runs;
    bool hasNewer = false;
    bool hasOlder = false;
    if (list.cursor && list.direction == PageDirection::newer) {
        runs = store_.runsPage(list.filter, list.cursor, PageDirection::newer, fleetPageSize + 1);
        if (runs.size() > fleetPageSize) {
            runs.erase(runs.begin());
            hasNewer = true;
            hasOlder = true;
        } else {
            // Back at the top: the first page, full, rather than a short one.
            runs.clear();
        }
    }
    if (runs.empty()) {
        const bool fromCursor = list.cursor && list.direction == PageDirection::older;
        runs = store_.runsPage(list.filter, fromCursor ? list.cursor : std::nullopt, PageDirection::older,
                               fleetPageSize + 1);
        hasOlder = runs.size() > fleetPageSize;
        if (hasOlder) runs.pop_back();
        hasNewer = fromCursor;
    }
    response.set_content(fleetListPage(list, runs, hasNewer, hasOlder), htmlType);
}

std::vector<MetricStanding> DepotService::standingsOf(const RunReport& report) {
    std::vector<MetricStanding> standings;
    std::array<bool, fleetMetricCount> seen{};
    for (const Metric& metric : report.metrics) {
        const auto index = fleetMetricIndex(metric.id);
        if (!index || seen[*index] || !metric.value || !std::isfinite(*metric.value)) continue;
        seen[*index] = true;
        standings.push_back({*index, *metric.value, store_.latestMetricValues(report.system.model, *index)});
    }
    std::sort(standings.begin(), standings.end(),
              [](const MetricStanding& a, const MetricStanding& b) { return a.metricIndex < b.metricIndex; });
    return standings;
}

void DepotService::recordPage(const httplib::Request& request, httplib::Response& response) {
    setPageHeaders(response, false);
    const std::string id = request.get_param_value("run");
    const auto stored = store_.find(id);
    if (!stored) {
        response.status = 404;
        response.set_content(missingRecordPage(id), htmlType);
        return;
    }
    RunReport report;
    try {
        report = RunReport::decode(stored->body);
    } catch (const ParseError&) {
        response.status = 500;
        response.set_content(missingRecordPage(id), htmlType);
        return;
    }
    // The page is open to whoever has its link; how the other computers of
    // the model measured is the fleet's business, shown to viewers only.
    const std::shared_ptr<const ViewerList> viewers = viewers_ ? viewers_() : nullptr;
    std::vector<MetricStanding> standings;
    if (fleetAccess(request, viewers.get()) == FleetAccess::granted) {
        response.set_header("Cache-Control", "private, no-store");
        standings = standingsOf(report);
    }
    response.set_content(depot::recordPage(report, stored->receivedAt, standings), htmlType);
}

void DepotService::devicePage(const httplib::Request& request, httplib::Response& response) {
    setPageHeaders(response, true);
    if (!mayViewFleet(request, response)) return;
    const std::string deviceId = request.matches[1].str();
    const std::vector<DeviceRun> runs = store_.deviceRuns(deviceId);
    if (runs.empty()) {
        response.status = 404;
        response.set_content(missingDevicePage(deviceId), htmlType);
        return;
    }
    response.set_content(depot::devicePage(deviceId, runs), htmlType);
}

void DepotService::changesPage(const httplib::Request& request, httplib::Response& response) {
    setPageHeaders(response, true);
    if (!mayViewFleet(request, response)) return;
    const std::optional<HardwareChangeKind> kind = changeKindNamed(request.get_param_value("kind"));
    std::optional<RunCursor> cursor;
    if (request.has_param("at") && request.has_param("id"))
        cursor = RunCursor{request.get_param_value("at"), request.get_param_value("id")};
    const bool firstPage = !cursor;

    std::vector<ChangeEntry> entries;
    std::optional<RunCursor> next;
    std::size_t read = 0;
    bool exhausted = false;
    while (entries.size() < changesPageSize && !exhausted && read < changeStepsPerPage) {
        const auto steps = store_.hardwareSteps(cursor, changeStepsPerBatch);
        exhausted = steps.size() < changeStepsPerBatch;
        for (const HardwareStep& step : steps) {
            ++read;
            cursor = RunCursor{step.run.receivedAt, step.run.id};
            const auto before = HardwareProfile::decoded(step.hardwareBefore);
            const auto after = HardwareProfile::decoded(step.hardwareAfter);
            if (!before || !after) continue;
            std::vector<HardwareChange> changes = hardwareChanges(*before, *after);
            if (kind) std::erase_if(changes, [&](const HardwareChange& change) { return change.kind != *kind; });
            if (!changes.empty()) entries.push_back({step.run, std::move(changes)});
            if (entries.size() == changesPageSize) {
                exhausted = false;
                break;
            }
        }
        if (steps.empty()) exhausted = true;
    }
    if (!exhausted) next = cursor;
    response.set_content(depot::changesPage(kind, entries, next, firstPage), htmlType);
}

void DepotService::exportLatest(const httplib::Request& request, httplib::Response& response, bool csv) {
    setPageHeaders(response, true);
    if (!mayViewFleet(request, response)) return;
    response.set_header("Content-Disposition",
                        csv ? "attachment; filename=\"nvx-depot.csv\"" : "attachment; filename=\"nvx-depot.json\"");
    response.set_chunked_content_provider(csv ? "text/csv; charset=utf-8; header=present" : jsonType,
                                          [this, csv](std::size_t, httplib::DataSink& sink) {
                                              // The answer has begun when this runs: a failure can only cut it
                                              // short, which a chunked answer shows by lacking its last chunk.
                                              struct ClientGone {};
                                              std::string piece = csv ? csvHeader() : jsonExportStart();
                                              bool first = true;
                                              try {
                                                  store_.forEachLatestRun([&](const RunSummary& run) {
                                                      if (!csv && !first) piece += jsonExportSeparator();
                                                      first = false;
                                                      piece += csv ? csvRow(run) : jsonExportRow(run);
                                                      if (piece.size() >= exportPieceBytes) {
                                                          if (!sink.write(piece.data(), piece.size()))
                                                              throw ClientGone{};
                                                          piece.clear();
                                                      }
                                                  });
                                              } catch (const ClientGone&) {
                                                  return false;
                                              } catch (const std::exception& error) {
                                                  if (log_)
                                                      log_("nvx-depot: выгрузка прервана: " + printable(error.what()));
                                                  return false;
                                              }
                                              if (!csv) piece += jsonExportEnd();
                                              if (!sink.write(piece.data(), piece.size())) return false;
                                              sink.done();
                                              return true;
                                          });
}

void DepotService::logRequest(const httplib::Request& request, const httplib::Response& response) {
    if (!log_) return;
    log_(utcNow() + " " + request.remote_addr + " " + printable(request.method) + " " + printable(request.target) +
         " " + std::to_string(response.status) + " " + std::to_string(response.body.size()));
}

}  // namespace nvx::depot
