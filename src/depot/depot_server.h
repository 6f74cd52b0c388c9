#pragma once

#include <httplib.h>
#include <openssl/ssl.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "depot/connection_limits.h"
#include "depot/connection_workers.h"

namespace nvx::depot {

// The depot's address could not be taken; what() is a Russian sentence.
class ListenError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The HTTP (or HTTPS) server of the depot. Routes, handlers and the request
// log are the HTTP library's (this is an httplib::Server); accepting,
// connections, TLS and the limits on clients are ours, because the library's
// own server has none of what a public server needs: its reads time out per
// read, not per request, so a client trickling a byte at a time holds a
// worker for ever; its queue of connections is unbounded and its workers
// few, so such clients starve everyone else; it reads a chunked,
// compressed or oversized body in full before refusing it; and its TLS
// certificate cannot be replaced while it runs.
//
// The library parses each request from a ConnectionStream, which enforces
// the deadlines; the request head is read and checked here first (size,
// body framing, body size) so that refusals never read a body.
class DepotServer final : public httplib::Server {
public:
    using Logger = std::function<void(const httplib::Request&, const httplib::Response&)>;
    // The TLS context for a new connection; null for plain HTTP. Asked once
    // per connection, so a renewed certificate applies from the next one.
    using TLSContextSource = std::function<std::shared_ptr<SSL_CTX>()>;

    explicit DepotServer(ConnectionLimits limits = {}, TLSContextSource tls = nullptr);
    ~DepotServer() override;

    // Logs the answers the server gives itself (refusals before the library
    // sees a request); the library's logger logs the rest.
    void setRefusalLogger(Logger logger) { refusalLogger_ = std::move(logger); }

    // Binds and listens on `host`:`port` (0: any free port); returns the
    // port. Throws ListenError.
    int bindAndListen(const std::string& host, int port);
    // Accepts connections on a thread of its own until stop().
    void start();
    // Stops accepting, ends idle and half-read connections, lets every
    // request already being handled answer, then returns. Idempotent.
    void stop();

    bool secure() const { return static_cast<bool>(tlsContext_); }

private:
    void acceptLoop();
    void serveConnection(const AcceptedConnection& accepted);
    // Answers with a refusal of the server's own, in JSON like the API's.
    void refuse(ConnectionStream& stream, const std::string& method, const std::string& target, int status,
                const std::string& message);
    void refuseBusy(const AcceptedConnection& accepted);
    bool reserveBody(std::size_t bytes);
    void releaseBody(std::size_t bytes);

    const ConnectionLimits limits_;
    const TLSContextSource tlsContext_;
    Logger refusalLogger_;
    int listener_ = -1;
    int stopSignal_ = -1;  // an eventfd, readable once stopping
    std::atomic<bool> stopping_{false};
    std::thread acceptor_;
    ConnectionWorkers workers_;
    std::mutex bodyBudgetLock_;
    std::size_t bodyBytesHeld_ = 0;
};

}  // namespace nvx::depot
