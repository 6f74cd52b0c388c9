// The upload protocol: one submission with a fresh receipt key, then a
// read-back with the same key, compared field by field with what was sent.

#include <nlohmann/json.hpp>

#include "core/errors.h"
#include "core/json_text.h"
#include "core/report_json.h"
#include "upload/depotrium_api.h"
#include "upload/http_exchange.h"
#include "upload/percent_encoding.h"
#include "upload/trusted_authorities.h"

namespace nvx::DepotriumAPI {
namespace {

constexpr const char* receiptKeyHeader = "X-NVX-Receipt-Key: ";

// Limits of the two requests. The session's own 30 s limit is an idle
// limit (waiting for the connection or for the next byte) that applies to
// both; the request's limit bounds the whole exchange. So the submission
// ends after 30 s at most, and the read-back of a large report may take up
// to 60 s as long as data keeps arriving.
constexpr std::chrono::seconds submissionTimeLimit{30};
constexpr std::chrono::seconds verificationTimeLimit{60};

// The server's answer as JSON; null when it is not JSON or nests deeper than
// any answer of ours would (which the document parser could not survive).
nlohmann::json answerJSON(const std::string& body) {
    try {
        return parseJSONText(body);
    } catch (const ParseError&) {
        return nullptr;
    }
}

// A refusal of the submission: the server's own "error" text when it sent
// one as a JSON string, else the general refusal.
[[noreturn]] void throwRefusal(const std::string& body) {
    const nlohmann::json answer = answerJSON(body);
    if (answer.is_object()) {
        const auto error = answer.find("error");
        if (error != answer.end() && error->is_string()) throw DepotriumError(error->get<std::string>());
    }
    throw DepotriumError(refusedMessage);
}

bool confirmsIdentifier(const std::string& body, const std::string& id) {
    const nlohmann::json answer = answerJSON(body);
    if (!answer.is_object()) return false;
    const auto confirmed = answer.find("id");
    return confirmed != answer.end() && confirmed->is_string() && confirmed->get_ref<const std::string&>() == id;
}

bool readsBackEqual(const std::string& body, const RunReport& sent) {
    try {
        return RunReport::decode(body) == sent;
    } catch (const ParseError&) {
        return false;
    }
}

}  // namespace

std::string upload(const RunReport& report, std::string_view server) {
    checkedURL(server);  // the address policy speaks first, before any file is read
    return upload(report, server, uploadOptionsFromEnvironment());
}

std::string upload(const RunReport& report, std::string_view server, const UploadOptions& options) {
    const ServerAddress base = checkedURL(server);
    const std::string key = makeReceiptKey();
    const std::string body = report.data();

    HTTPRequest submission;
    submission.method = "POST";
    submission.url = base.endpoint("api/runs");
    submission.headers = {"Content-Type: application/json", receiptKeyHeader + key};
    submission.body = body;
    submission.timeLimit = submissionTimeLimit;
    const HTTPResponse submitted = exchange(submission, options);

    if (submitted.status == 401) throw DepotriumError(notAcknowledgedMessage);
    if (submitted.status < 200 || submitted.status > 299) throwRefusal(submitted.body);

    // Redirects are not followed, so the final URL is the one we asked for
    // unless the HTTP layer says otherwise. Both hosts go through the same
    // parser, so only a real difference counts.
    const std::string finalHost = submitted.finalURL.empty() ? std::string() : hostOfURL(submitted.finalURL);
    if (finalHost.empty() || finalHost != hostOfURL(submission.url)) throw DepotriumError(redirectedMessage);

    if (!confirmsIdentifier(submitted.body, report.id)) throw DepotriumError(identifierNotConfirmedMessage);

    HTTPRequest verification;
    verification.method = "GET";
    // The identifier is one path segment whatever it holds: a report read
    // from a file may carry slashes, dots or spaces in its id.
    verification.url = base.endpoint("api/runs/" + percentEncodedSegment(report.id));
    verification.headers = {receiptKeyHeader + key};
    verification.timeLimit = verificationTimeLimit;
    const HTTPResponse verified = exchange(verification, options);

    if (verified.status == 401) throw DepotriumError(notAcknowledgedMessage);
    if (verified.status != 200 || !readsBackEqual(verified.body, report)) throw DepotriumError(integrityMessage);

    return recordAddress(base, report.id);
}

}  // namespace nvx::DepotriumAPI
