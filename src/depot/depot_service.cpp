#include "depot/depot_service.h"

#include <ctime>

#include <nlohmann/json.hpp>

#include "core/report_json.h"
#include "depot/depot_server.h"
#include "depot/fleet_access.h"
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
    // Pages show report texts; they never run anything from them.
    response.set_header("Content-Security-Policy", "default-src 'none'; style-src 'unsafe-inline'");
    response.set_header("X-Content-Type-Options", "nosniff");
    if (!request.has_param("run")) {
        // Viewers' pages must not linger in shared caches.
        response.set_header("Cache-Control", "private, no-store");
        if (!mayViewFleet(request, response)) return;
        response.set_content(listPage(store_.latest(listedRecords)), htmlType);
        return;
    }
    const std::string id = request.get_param_value("run");
    const auto stored = store_.find(id);
    if (!stored) {
        response.status = 404;
        response.set_content(missingRecordPage(id), htmlType);
        return;
    }
    try {
        response.set_content(recordPage(RunReport::decode(stored->body), stored->receivedAt), htmlType);
    } catch (const ParseError&) {
        response.status = 500;
        response.set_content(missingRecordPage(id), htmlType);
    }
}

void DepotService::logRequest(const httplib::Request& request, const httplib::Response& response) {
    if (!log_) return;
    log_(utcNow() + " " + request.remote_addr + " " + printable(request.method) + " " + printable(request.target) +
         " " + std::to_string(response.status) + " " + std::to_string(response.body.size()));
}

}  // namespace nvx::depot
