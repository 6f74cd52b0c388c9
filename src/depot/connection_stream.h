#pragma once

#include <httplib.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "depot/socket_transport.h"

namespace nvx::depot {

// The address of a connection's other end as text ("127.0.0.1", "::1").
struct PeerAddress {
    std::string host;
    int port = -1;
};

// One accepted connection as the HTTP library reads and writes it, with the
// limits the library itself does not have: every read stops at a deadline
// (a time by which the whole request must have arrived, not an idle time per
// read), reads give up as soon as the depot stops, and the request head is
// read and size-checked here before the library parses it.
class ConnectionStream final : public httplib::Stream {
public:
    using Clock = std::chrono::steady_clock;

    // `stopSignal` is a descriptor that becomes readable when the depot
    // stops. The stream owns `socket` and closes it.
    ConnectionStream(int socket, std::unique_ptr<Transport> transport, PeerAddress peer, int stopSignal);
    ~ConnectionStream() override;
    ConnectionStream(const ConnectionStream&) = delete;
    ConnectionStream& operator=(const ConnectionStream&) = delete;

    // Reads fail once the deadline has passed.
    void setReadDeadline(Clock::time_point deadline) { readDeadline_ = deadline; }
    // Each answer must be written within this time from its first byte.
    void setResponseTime(std::chrono::milliseconds time) { responseTime_ = time; }

    // The TLS handshake, within the read deadline.
    bool handshake();

    // Waits until `until` for the first byte of another request on a
    // kept-alive connection; false when the client closed, went quiet or the
    // depot stops.
    bool awaitRequest(Clock::time_point until);

    enum class HeadOutcome { complete, closedBeforeRequest, tooLarge, timedOut, failed };
    // Reads until the request line and headers are complete (an empty line),
    // at most `maximumBytes` of them, within the read deadline. The head stays
    // buffered for the library to parse; head() shows it.
    HeadOutcome readHead(std::size_t maximumBytes);
    std::string_view head() const { return head_; }

    // The status of the last answer written since readHead(), 0 before one.
    int answeredStatus() const { return answeredStatus_; }
    // Whether a read failed (deadline, broken connection, stop) since readHead().
    bool readFailed() const { return readFailed_; }

    // Ends the connection. With `drain`, first reads and discards what the
    // client is still sending for a moment: closing a socket with unread
    // data resets the connection, and the client might then never see the
    // answer that refused its body.
    void close(bool drain);

    const PeerAddress& peer() const { return peer_; }

    // httplib::Stream
    bool is_readable() const override;
    bool is_writable() const override;
    ssize_t read(char* data, size_t size) override;
    ssize_t write(const char* data, size_t size) override;
    void get_remote_ip_and_port(std::string& ip, int& port) const override;
    void get_local_ip_and_port(std::string& ip, int& port) const override;
    socket_t socket() const override { return socket_; }

private:
    enum class Wait { ready, timedOut, stopped, failed };
    // Waits for the socket to become readable or writable, until `deadline`;
    // with `watchStop` also gives up when the depot stops.
    Wait wait(TransportStatus want, Clock::time_point deadline, bool watchStop) const;
    // Moves at least one byte from the transport into `data` before the read
    // deadline; 0 when the client closed, nullopt (and readFailed_) when the
    // deadline passed (timedOut_), the connection broke or the depot stops.
    std::optional<std::size_t> receive(char* data, std::size_t size);
    // Appends what arrives next to the buffer.
    std::optional<std::size_t> receiveIntoBuffer();
    void noteStatusLine(const char* data, std::size_t size);

    int socket_;
    std::unique_ptr<Transport> transport_;
    PeerAddress peer_;
    int stopSignal_;
    Clock::time_point readDeadline_ = Clock::time_point::max();
    Clock::time_point writeDeadline_ = Clock::time_point::max();
    std::chrono::milliseconds responseTime_{60'000};
    // Received bytes not yet read by the library: [bufferStart_, end).
    std::vector<char> buffer_;
    std::size_t bufferStart_ = 0;
    std::string head_;
    bool expectingStatusLine_ = false;
    int answeredStatus_ = 0;
    bool readFailed_ = false;
    bool timedOut_ = false;
    bool closed_ = false;
};

}  // namespace nvx::depot
