#include "depot/depot_server.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <nlohmann/json.hpp>

#include "depot/request_head.h"

namespace nvx::depot {
namespace {

using Clock = ConnectionStream::Clock;

constexpr const char* jsonType = "application/json; charset=utf-8";

// Statuses after which the rest of the connection cannot be trusted to be
// the next request: the body was left unread, or the request was malformed.
bool endsConnection(int status) {
    switch (status) {
        case 400:
        case 408:
        case 411:
        case 413:
        case 414:
        case 415:
        case 431:
        case 501:
        case 503:
            return true;
        default:
            return false;
    }
}

const char* reasonPhrase(int status) {
    switch (status) {
        case 400:
            return "Bad Request";
        case 408:
            return "Request Timeout";
        case 411:
            return "Length Required";
        case 413:
            return "Payload Too Large";
        case 415:
            return "Unsupported Media Type";
        case 431:
            return "Request Header Fields Too Large";
        case 503:
            return "Service Unavailable";
        default:
            return "Error";
    }
}

// The complete answer of a refusal: JSON with a Russian "error", and the
// connection closed after it.
std::string refusalText(int status, const std::string& message) {
    const std::string body = nlohmann::json{{"error", message}}.dump();
    std::string text = "HTTP/1.1 " + std::to_string(status) + " " + reasonPhrase(status) + "\r\n";
    text += std::string("Content-Type: ") + jsonType + "\r\n";
    text += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    if (status == 503) text += "Retry-After: 5\r\n";
    text += "Connection: close\r\n\r\n";
    return text + body;
}

PeerAddress peerOf(const sockaddr_storage& address, socklen_t length) {
    char host[NI_MAXHOST] = {};
    char service[NI_MAXSERV] = {};
    PeerAddress peer;
    if (::getnameinfo(reinterpret_cast<const sockaddr*>(&address), length, host, sizeof host, service, sizeof service,
                      NI_NUMERICHOST | NI_NUMERICSERV) != 0) {
        return peer;
    }
    peer.host = host;
    peer.port = std::atoi(service);
    // A dual-stack listener sees IPv4 clients as ::ffff:a.b.c.d; name them as
    // IPv4, as everyone else does.
    if (peer.host.rfind("::ffff:", 0) == 0 && peer.host.find('.') != std::string::npos) {
        peer.host = peer.host.substr(7);
    }
    return peer;
}

}  // namespace

DepotServer::DepotServer(ConnectionLimits limits, TLSContextSource tls)
    : limits_(limits),
      tlsContext_(std::move(tls)),
      workers_(limits.maximumConnections, [this](const AcceptedConnection& accepted) { serveConnection(accepted); }) {
    stopSignal_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (stopSignal_ < 0) throw ListenError(std::string("Склад не смог создать eventfd: ") + std::strerror(errno) + ".");
}

DepotServer::~DepotServer() {
    stop();
    ::close(stopSignal_);
}

int DepotServer::bindAndListen(const std::string& host, int port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    const int resolved = ::getaddrinfo(host.empty() ? nullptr : host.c_str(), service.c_str(), &hints, &found);
    if (resolved != 0) {
        throw ListenError("Склад не нашёл адрес «" + host + "»: " + ::gai_strerror(resolved) + ".");
    }
    int lastError = 0;
    for (const addrinfo* candidate = found; candidate != nullptr && listener_ < 0; candidate = candidate->ai_next) {
        const int socket =
            ::socket(candidate->ai_family, candidate->ai_socktype | SOCK_CLOEXEC, candidate->ai_protocol);
        if (socket < 0) {
            lastError = errno;
            continue;
        }
        const int on = 1;
        ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (::bind(socket, candidate->ai_addr, candidate->ai_addrlen) == 0 && ::listen(socket, SOMAXCONN) == 0) {
            listener_ = socket;
            // The library ends a streamed answer (a chunked export) as soon
            // as it believes the server is shutting down, which it judges by
            // its own listening socket: it must name ours while we serve.
            svr_sock_ = socket;
        } else {
            lastError = errno;
            ::close(socket);
        }
    }
    ::freeaddrinfo(found);
    if (listener_ < 0) {
        throw ListenError("Склад не смог занять адрес «" + host + ":" + service + "»: " + std::strerror(lastError) +
                          ".");
    }
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&bound), &length);
    return ::ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port
                                               : reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
}

void DepotServer::start() {
    if (listener_ < 0 || acceptor_.joinable()) return;
    acceptor_ = std::thread([this] { acceptLoop(); });
}

void DepotServer::stop() {
    // Streamed answers stop at their next piece.
    svr_sock_ = INVALID_SOCKET;
    if (!stopping_.exchange(true)) {
        const std::uint64_t one = 1;
        // The eventfd stays readable: every wait that watches it ends now.
        [[maybe_unused]] const ssize_t written = ::write(stopSignal_, &one, sizeof one);
    }
    if (acceptor_.joinable()) acceptor_.join();
    workers_.stop();
    if (listener_ >= 0) {
        ::close(listener_);
        listener_ = -1;
    }
}

void DepotServer::acceptLoop() {
    pollfd watched[2] = {{listener_, POLLIN, 0}, {stopSignal_, POLLIN, 0}};
    while (!stopping_) {
        if (::poll(watched, 2, -1) < 0 && errno != EINTR) break;
        if (watched[1].revents != 0) break;
        if (watched[0].revents == 0) continue;
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        const int socket =
            ::accept4(listener_, reinterpret_cast<sockaddr*>(&address), &length, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (socket < 0) {
            // Out of descriptors or memory: pause instead of spinning; the
            // clients wait in the listen queue meanwhile.
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                pollfd stop{stopSignal_, POLLIN, 0};
                ::poll(&stop, 1, 50);
            }
            continue;
        }
        // Headers and body leave in separate writes; with Nagle's algorithm
        // the body would wait for the client's delayed acknowledgement.
        const int on = 1;
        ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        const AcceptedConnection accepted{socket, peerOf(address, length)};
        if (!workers_.offer(accepted)) refuseBusy(accepted);
    }
}

void DepotServer::refuseBusy(const AcceptedConnection& accepted) {
    // Every connection slot is taken: say so at once, without waiting for
    // the request (this is the accepting thread), and close.
    const std::string text = refusalText(503, "Склад перегружен; повторите отправку через несколько секунд.");
    [[maybe_unused]] const ssize_t sent = ::send(accepted.socket, text.data(), text.size(), MSG_NOSIGNAL);
    ::shutdown(accepted.socket, SHUT_WR);
    ::close(accepted.socket);
    if (refusalLogger_) {
        httplib::Request request;
        request.method = "-";
        request.target = "-";
        request.remote_addr = accepted.peer.host;
        httplib::Response response;
        response.status = 503;
        refusalLogger_(request, response);
    }
}

void DepotServer::refuse(ConnectionStream& stream, const std::string& method, const std::string& target, int status,
                         const std::string& message) {
    const std::string text = refusalText(status, message);
    stream.write(text.data(), text.size());
    if (refusalLogger_) {
        httplib::Request request;
        request.method = method.empty() ? "-" : method;
        request.target = target.empty() ? "-" : target;
        request.remote_addr = stream.peer().host;
        httplib::Response response;
        response.status = status;
        response.body = text.substr(text.find("\r\n\r\n") + 4);
        refusalLogger_(request, response);
    }
}

bool DepotServer::reserveBody(std::size_t bytes) {
    if (bytes <= limits_.unbudgetedBodyBytes) return true;
    std::lock_guard lock(bodyBudgetLock_);
    if (bodyBytesHeld_ + bytes > limits_.bodyBudgetBytes) return false;
    bodyBytesHeld_ += bytes;
    return true;
}

void DepotServer::releaseBody(std::size_t bytes) {
    if (bytes <= limits_.unbudgetedBodyBytes) return;
    std::lock_guard lock(bodyBudgetLock_);
    bodyBytesHeld_ -= bytes;
}

void DepotServer::serveConnection(const AcceptedConnection& accepted) {
    std::unique_ptr<Transport> transport;
    std::shared_ptr<SSL_CTX> context;
    try {
        if (tlsContext_) {
            context = tlsContext_();
            if (context) transport = tlsTransport(accepted.socket, context.get());
        } else {
            transport = plainTransport(accepted.socket);
        }
    } catch (...) {
    }
    if (!transport) {
        ::close(accepted.socket);
        return;
    }
    ConnectionStream stream(accepted.socket, std::move(transport), accepted.peer, stopSignal_);
    stream.setResponseTime(limits_.responseTime);
    // A new connection's first request, TLS handshake included, counts from
    // the moment it was accepted; a later one from its first byte.
    auto requestStart = Clock::now();
    stream.setReadDeadline(requestStart + limits_.requestTime);
    try {
        if (!stream.handshake()) return;
        for (std::size_t served = 0; served < limits_.keepAliveRequests && !stopping_; ++served) {
            if (served > 0) {
                if (!stream.awaitRequest(Clock::now() + limits_.keepAliveIdle)) return;
                requestStart = Clock::now();
                stream.setReadDeadline(requestStart + limits_.requestTime);
            }
            switch (stream.readHead(limits_.maximumHeaderBytes)) {
                case ConnectionStream::HeadOutcome::complete:
                    break;
                case ConnectionStream::HeadOutcome::tooLarge:
                    refuse(stream, {}, {}, 431, "Заголовки запроса слишком велики.");
                    stream.close(true);
                    return;
                case ConnectionStream::HeadOutcome::timedOut:
                    refuse(stream, {}, {}, 408, "Запрос не пришёл целиком за отведённое время.");
                    stream.close(true);
                    return;
                case ConnectionStream::HeadOutcome::closedBeforeRequest:
                case ConnectionStream::HeadOutcome::failed:
                    return;
            }

            const RequestHead head = inspectRequestHead(stream.head());
            if (const auto refusal = refusalOf(head, limits_)) {
                refuse(stream, head.method, head.target, refusal->status, refusal->message);
                stream.close(true);
                return;
            }
            const std::size_t bodyBytes = head.expectsBody() ? static_cast<std::size_t>(*head.contentLength) : 0;
            if (!reserveBody(bodyBytes)) {
                refuse(stream, head.method, head.target, 503,
                       "Склад перегружен; повторите отправку через несколько секунд.");
                stream.close(true);
                return;
            }
            // The body adds time in proportion to its length, so a large
            // report over a slow line arrives, and a slow client still ends.
            stream.setReadDeadline(requestStart + limits_.requestTime +
                                   std::chrono::milliseconds(bodyBytes * 1000 / limits_.minimumBodyBytesPerSecond));
            bool clientCloses = false;
            const bool last = served + 1 == limits_.keepAliveRequests || stopping_;
            bool answered = false;
            try {
                answered = process_request(stream, last, clientCloses, nullptr);
            } catch (...) {
                // The library handles the handlers' exceptions; anything else
                // ends this connection, never the depot.
            }
            releaseBody(bodyBytes);
            // A body that a method without one announced is still unread.
            const bool unreadBody = !head.expectsBody() && head.contentLength.value_or(0) > 0;
            if (!answered || clientCloses || last || unreadBody || stream.readFailed() ||
                endsConnection(stream.answeredStatus())) {
                stream.close(unreadBody || stream.readFailed());
                return;
            }
        }
    } catch (...) {
        // Out of memory and the like: this connection ends, the depot stays.
    }
}

}  // namespace nvx::depot
