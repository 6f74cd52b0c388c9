#pragma once

#include <openssl/ssl.h>

#include <cstddef>
#include <memory>

namespace nvx::depot {

// What an attempt to move bytes over a non-blocking socket came to.
enum class TransportStatus {
    done,       // some bytes moved (or the handshake finished)
    wantRead,   // nothing moved; retry once the socket is readable
    wantWrite,  // nothing moved; retry once the socket is writable
    closed,     // the peer ended the connection in order
    failed,     // the connection is broken (reset, TLS error)
};

// Bytes to and from one accepted socket, plain or through TLS. Never blocks:
// the connection stream waits for readiness and owns the deadlines.
class Transport {
public:
    virtual ~Transport() = default;
    virtual TransportStatus handshake() { return TransportStatus::done; }
    virtual TransportStatus read(char* data, std::size_t size, std::size_t& moved) = 0;
    virtual TransportStatus write(const char* data, std::size_t size, std::size_t& moved) = 0;
    // Bytes received and decoded but not yet read (TLS keeps some).
    virtual bool hasPendingBytes() const { return false; }
    // Tells the peer that nothing more is sent (TLS close_notify, then a
    // TCP half-close), without waiting for it.
    virtual void finish() = 0;
};

std::unique_ptr<Transport> plainTransport(int socket);
// Nullptr when OpenSSL cannot make the connection object.
std::unique_ptr<Transport> tlsTransport(int socket, SSL_CTX* context);

}  // namespace nvx::depot
