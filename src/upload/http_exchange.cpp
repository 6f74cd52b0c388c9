#include "upload/http_exchange.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>

#include <cstdint>
#include <memory>

#include "core/errors.h"
#include "upload/curl_session.h"

namespace nvx {
namespace {

// The session's own limit: no request waits longer than this for the
// connection or for its next byte. A request's time limit bounds the whole
// exchange on top of it.
constexpr long sessionIdleLimitSeconds = 30;

struct ResponseSink {
    CURL* curl = nullptr;
    std::string body;
    bool tooLarge = false;
};

size_t collectBody(char* data, size_t size, size_t count, void* userData) {
    auto* sink = static_cast<ResponseSink*>(userData);
    const size_t length = size * count;
    if (sink->body.empty()) {
        // One allocation for a body of announced length (the limit is
        // checked against what arrives, below).
        curl_off_t announced = -1;
        if (curl_easy_getinfo(sink->curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced) == CURLE_OK &&
            announced > 0 && static_cast<std::uint64_t>(announced) <= DepotriumAPI::maximumResponseBytes) {
            sink->body.reserve(static_cast<std::size_t>(announced));
        }
    }
    if (length > DepotriumAPI::maximumResponseBytes - sink->body.size()) {
        sink->tooLarge = true;
        return 0;  // anything but `length` makes libcurl abort the transfer
    }
    sink->body.append(data, length);
    return length;
}

struct HeaderListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using HeaderList = std::unique_ptr<curl_slist, HeaderListDeleter>;

struct URLDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};

// Adds the PEM certificates in `pem` (a std::string) to the trust store of
// a new TLS connection. libcurl calls this after it has set up the system's
// store, so the authorities are trusted in addition to it.
CURLcode addAuthorities(CURL*, void* sslContext, void* pem) {
    const auto& text = *static_cast<const std::string*>(pem);
    X509_STORE* store = SSL_CTX_get_cert_store(static_cast<SSL_CTX*>(sslContext));
    std::unique_ptr<BIO, decltype(&BIO_free)> input(BIO_new_mem_buf(text.data(), static_cast<int>(text.size())),
                                                    &BIO_free);
    int added = 0;
    while (input && store != nullptr) {
        X509* certificate = PEM_read_bio_X509(input.get(), nullptr, nullptr, nullptr);
        if (certificate == nullptr) break;
        // An authority already in the store counts as added.
        if (X509_STORE_add_cert(store, certificate) == 1) ++added;
        X509_free(certificate);
    }
    ERR_clear_error();
    return added > 0 ? CURLE_OK : CURLE_SSL_CACERT_BADFILE;
}

std::string transportFailure(CURLcode code, const char* detail) {
    std::string text = (detail != nullptr && detail[0] != '\0') ? detail : curl_easy_strerror(code);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return "Не удалось связаться со складом: " + text;
}

}  // namespace

std::string hostOfURL(const std::string& url) {
    std::unique_ptr<CURLU, URLDeleter> parsed(curl_url());
    if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) return {};
    char* host = nullptr;
    if (curl_url_get(parsed.get(), CURLUPART_HOST, &host, 0) != CURLUE_OK || host == nullptr) return {};
    std::string result = host;
    curl_free(host);
    return result;
}

HTTPResponse exchange(const HTTPRequest& request, const UploadOptions& options) {
    CurlSession::Lease lease = CurlSession::shared().borrow();
    CURL* curl = lease.get();

    HeaderList headers;
    for (const std::string& header : request.headers) {
        curl_slist* extended = curl_slist_append(headers.get(), header.c_str());
        if (extended == nullptr) throw TransportError("Не удалось подготовить HTTP-запрос: не хватило памяти.");
        headers.release();
        headers.reset(extended);
    }
    // The body is sent at once: waiting for "100 Continue" only costs time.
    if (request.method == "POST") {
        curl_slist* extended = curl_slist_append(headers.get(), "Expect:");
        if (extended == nullptr) throw TransportError("Не удалось подготовить HTTP-запрос: не хватило памяти.");
        headers.release();
        headers.reset(extended);
    }

    ResponseSink sink;
    sink.curl = curl;
    char errorText[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);  // threads: no SIGALRM-based time-outs
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!options.extraAuthoritiesPEM.empty()) {
        curl_easy_setopt(curl, CURLOPT_SSL_CTX_FUNCTION, &addAuthorities);
        curl_easy_setopt(curl, CURLOPT_SSL_CTX_DATA, &options.extraAuthoritiesPEM);
        // libcurl may share one cached copy of the system's store between
        // connections; ours must not leak into it.
        curl_easy_setopt(curl, CURLOPT_CA_CACHE_TIMEOUT, 0L);
    }
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(request.timeLimit.count() * 1000));
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, sessionIdleLimitSeconds);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, sessionIdleLimitSeconds);
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(DepotriumAPI::maximumResponseBytes));
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &collectBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
    if (request.method == "POST") {
        curl_easy_setopt(curl, CURLOPT_POST, 1L);
        // Never a null pointer: libcurl would then read the body from stdin.
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request.body.empty() ? "" : request.body.data());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
    } else {
        curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    }

    const CURLcode result = curl_easy_perform(curl);
    // The pooled handle must not keep pointers into this frame.
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, nullptr);
    curl_easy_setopt(curl, CURLOPT_SSL_CTX_DATA, nullptr);

    if (sink.tooLarge || result == CURLE_FILESIZE_EXCEEDED) {
        throw TransportError("Склад прислал слишком большой ответ (больше 64 МиБ); он не принят.");
    }
    if (result != CURLE_OK) throw TransportError(transportFailure(result, errorText));

    HTTPResponse response;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &response.status);
    char* finalURL = nullptr;
    if (curl_easy_getinfo(curl, CURLINFO_EFFECTIVE_URL, &finalURL) == CURLE_OK && finalURL != nullptr) {
        response.finalURL = finalURL;
    }
    response.body = std::move(sink.body);
    return response;
}

}  // namespace nvx
