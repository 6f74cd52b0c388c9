#include "depot/socket_transport.h"

#include <openssl/err.h>
#include <sys/socket.h>

#include <cerrno>

namespace nvx::depot {
namespace {

class PlainTransport final : public Transport {
public:
    explicit PlainTransport(int socket) : socket_(socket) {}

    TransportStatus read(char* data, std::size_t size, std::size_t& moved) override {
        const ssize_t count = ::recv(socket_, data, size, 0);
        if (count > 0) {
            moved = static_cast<std::size_t>(count);
            return TransportStatus::done;
        }
        if (count == 0) return TransportStatus::closed;
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? TransportStatus::wantRead
                                                                         : TransportStatus::failed;
    }

    TransportStatus write(const char* data, std::size_t size, std::size_t& moved) override {
        // MSG_NOSIGNAL: a client that hung up is this request's failure, not a
        // SIGPIPE for the whole depot.
        const ssize_t count = ::send(socket_, data, size, MSG_NOSIGNAL);
        if (count >= 0) {
            moved = static_cast<std::size_t>(count);
            return TransportStatus::done;
        }
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? TransportStatus::wantWrite
                                                                         : TransportStatus::failed;
    }

    void finish() override { ::shutdown(socket_, SHUT_WR); }

private:
    int socket_;
};

class TLSTransport final : public Transport {
public:
    explicit TLSTransport(SSL* ssl) : ssl_(ssl) {}
    ~TLSTransport() override { SSL_free(ssl_); }
    TLSTransport(const TLSTransport&) = delete;
    TLSTransport& operator=(const TLSTransport&) = delete;

    TransportStatus handshake() override {
        const int result = SSL_accept(ssl_);
        return result == 1 ? TransportStatus::done : status(result);
    }

    TransportStatus read(char* data, std::size_t size, std::size_t& moved) override {
        const int result = SSL_read_ex(ssl_, data, size, &moved);
        return result == 1 ? TransportStatus::done : status(result);
    }

    TransportStatus write(const char* data, std::size_t size, std::size_t& moved) override {
        const int result = SSL_write_ex(ssl_, data, size, &moved);
        return result == 1 ? TransportStatus::done : status(result);
    }

    bool hasPendingBytes() const override { return SSL_pending(ssl_) > 0; }

    void finish() override {
        // One attempt: a client that does not answer the close_notify has no
        // claim on our time.
        if (!failed_) SSL_shutdown(ssl_);
        ERR_clear_error();
        ::shutdown(SSL_get_fd(ssl_), SHUT_WR);
    }

private:
    TransportStatus status(int result) {
        const int error = SSL_get_error(ssl_, result);
        // The error queue is per thread and the thread serves other
        // connections next: leave nothing behind.
        ERR_clear_error();
        switch (error) {
            case SSL_ERROR_WANT_READ:
                return TransportStatus::wantRead;
            case SSL_ERROR_WANT_WRITE:
                return TransportStatus::wantWrite;
            case SSL_ERROR_ZERO_RETURN:
                return TransportStatus::closed;
            default:
                // After a fatal error OpenSSL forbids a shutdown.
                failed_ = true;
                return TransportStatus::failed;
        }
    }

    SSL* ssl_;
    bool failed_ = false;
};

}  // namespace

std::unique_ptr<Transport> plainTransport(int socket) {
    return std::make_unique<PlainTransport>(socket);
}

std::unique_ptr<Transport> tlsTransport(int socket, SSL_CTX* context) {
    SSL* ssl = SSL_new(context);
    if (ssl == nullptr || SSL_set_fd(ssl, socket) != 1) {
        SSL_free(ssl);
        ERR_clear_error();
        return nullptr;
    }
    return std::make_unique<TLSTransport>(ssl);
}

}  // namespace nvx::depot
