#include "depot/connection_stream.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace nvx::depot {
namespace {

// What one read from the network asks for at most.
constexpr std::size_t receiveChunk = 16 * 1024;
// How long and how much a closing connection drains of what the client
// still sends after a refusal.
constexpr std::chrono::milliseconds drainTime{1'000};
constexpr std::size_t drainBytes = 256 * 1024;

int millisecondsUntil(ConnectionStream::Clock::time_point deadline) {
    if (deadline == ConnectionStream::Clock::time_point::max()) return -1;
    const auto left = deadline - ConnectionStream::Clock::now();
    if (left <= std::chrono::milliseconds::zero()) return 0;
    // Rounded up, so that a wait never ends just before its deadline.
    const auto milliseconds = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return static_cast<int>(std::min<long long>(milliseconds, 60'000));
}

}  // namespace

ConnectionStream::ConnectionStream(int socket, std::unique_ptr<Transport> transport, PeerAddress peer, int stopSignal)
    : socket_(socket), transport_(std::move(transport)), peer_(std::move(peer)), stopSignal_(stopSignal) {}

ConnectionStream::~ConnectionStream() {
    close(false);
}

ConnectionStream::Wait ConnectionStream::wait(TransportStatus want, Clock::time_point deadline, bool watchStop) const {
    pollfd watched[2] = {{socket_, static_cast<short>(want == TransportStatus::wantWrite ? POLLOUT : POLLIN), 0},
                         {stopSignal_, POLLIN, 0}};
    const nfds_t count = watchStop && stopSignal_ >= 0 ? 2 : 1;
    for (;;) {
        if (Clock::now() >= deadline) return Wait::timedOut;
        const int ready = ::poll(watched, count, millisecondsUntil(deadline));
        if (ready < 0) {
            if (errno == EINTR) continue;
            return Wait::failed;
        }
        if (count == 2 && watched[1].revents != 0) return Wait::stopped;
        // An error or hang-up counts as ready: the next transfer reports it.
        if (watched[0].revents != 0) return Wait::ready;
    }
}

std::optional<std::size_t> ConnectionStream::receive(char* data, std::size_t size) {
    for (;;) {
        std::size_t moved = 0;
        const TransportStatus status = transport_->read(data, size, moved);
        if (status == TransportStatus::done) return moved;
        if (status == TransportStatus::closed) return 0;
        if (status == TransportStatus::failed) break;
        const Wait waited = wait(status, readDeadline_, true);
        if (waited == Wait::ready) continue;
        timedOut_ = waited == Wait::timedOut;
        break;
    }
    readFailed_ = true;
    return std::nullopt;
}

std::optional<std::size_t> ConnectionStream::receiveIntoBuffer() {
    // Keep the unread bytes at the front so the buffer does not creep.
    if (bufferStart_ > 0) {
        buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(bufferStart_));
        bufferStart_ = 0;
    }
    const std::size_t before = buffer_.size();
    buffer_.resize(before + receiveChunk);
    const auto received = receive(buffer_.data() + before, receiveChunk);
    buffer_.resize(before + received.value_or(0));
    return received;
}

bool ConnectionStream::handshake() {
    for (;;) {
        const TransportStatus status = transport_->handshake();
        if (status == TransportStatus::done) return true;
        if (status != TransportStatus::wantRead && status != TransportStatus::wantWrite) return false;
        if (wait(status, readDeadline_, true) != Wait::ready) return false;
    }
}

bool ConnectionStream::awaitRequest(Clock::time_point until) {
    if (bufferStart_ < buffer_.size() || transport_->hasPendingBytes()) return true;
    return wait(TransportStatus::wantRead, until, true) == Wait::ready;
}

ConnectionStream::HeadOutcome ConnectionStream::readHead(std::size_t maximumBytes) {
    head_.clear();
    answeredStatus_ = 0;
    expectingStatusLine_ = true;
    readFailed_ = false;
    timedOut_ = false;
    writeDeadline_ = Clock::time_point::max();
    std::size_t searched = 0;  // bytes of this head already searched
    for (;;) {
        // The head ends with an empty line. The last three bytes searched may
        // begin one that the next read completes.
        const std::string_view buffered(buffer_.data() + bufferStart_, buffer_.size() - bufferStart_);
        const auto end = buffered.find("\r\n\r\n", searched > 3 ? searched - 3 : 0);
        if (end != std::string_view::npos) {
            if (end + 4 > maximumBytes) return HeadOutcome::tooLarge;
            head_ = buffered.substr(0, end + 4);
            return HeadOutcome::complete;
        }
        if (buffered.size() >= maximumBytes) return HeadOutcome::tooLarge;
        searched = buffered.size();
        const auto received = receiveIntoBuffer();  // keeps the unread bytes at the front
        if (!received) return timedOut_ ? HeadOutcome::timedOut : HeadOutcome::failed;
        if (*received == 0) return searched == 0 ? HeadOutcome::closedBeforeRequest : HeadOutcome::failed;
    }
}

bool ConnectionStream::is_readable() const {
    if (bufferStart_ < buffer_.size() || transport_->hasPendingBytes()) return true;
    pollfd watched{socket_, POLLIN, 0};
    return ::poll(&watched, 1, 0) > 0;
}

bool ConnectionStream::is_writable() const {
    if (closed_) return false;
    pollfd watched{socket_, POLLOUT, 0};
    return ::poll(&watched, 1, 0) > 0 && (watched.revents & (POLLERR | POLLHUP)) == 0;
}

ssize_t ConnectionStream::read(char* data, size_t size) {
    if (size == 0) return 0;
    if (bufferStart_ == buffer_.size()) {
        if (readFailed_) return -1;
        // Large reads (the body) go straight to the caller.
        if (size >= receiveChunk) {
            const auto received = receive(data, size);
            return received ? static_cast<ssize_t>(*received) : -1;
        }
        const auto received = receiveIntoBuffer();
        if (!received) return -1;
        if (*received == 0) return 0;
    }
    const std::size_t count = std::min(size, buffer_.size() - bufferStart_);
    std::memcpy(data, buffer_.data() + bufferStart_, count);
    bufferStart_ += count;
    if (bufferStart_ == buffer_.size()) {
        buffer_.clear();
        bufferStart_ = 0;
    }
    return static_cast<ssize_t>(count);
}

void ConnectionStream::noteStatusLine(const char* data, std::size_t size) {
    // The library writes each answer's status line in one piece first; an
    // interim "100 Continue" is not the answer.
    if (!expectingStatusLine_ || size < 12 || std::strncmp(data, "HTTP/1.", 7) != 0) return;
    int status = 0;
    for (int i = 9; i < 12; ++i) {
        if (data[i] < '0' || data[i] > '9') return;
        status = status * 10 + (data[i] - '0');
    }
    if (status == 100) return;
    answeredStatus_ = status;
    expectingStatusLine_ = false;
}

ssize_t ConnectionStream::write(const char* data, size_t size) {
    if (closed_) return -1;
    if (writeDeadline_ == Clock::time_point::max()) writeDeadline_ = Clock::now() + responseTime_;
    noteStatusLine(data, size);
    std::size_t written = 0;
    while (written < size) {
        std::size_t moved = 0;
        const TransportStatus status = transport_->write(data + written, size - written, moved);
        if (status == TransportStatus::done) {
            written += moved;
            continue;
        }
        if (status != TransportStatus::wantRead && status != TransportStatus::wantWrite) return -1;
        // An answer under way is finished even while the depot stops.
        if (wait(status, writeDeadline_, false) != Wait::ready) return -1;
    }
    return static_cast<ssize_t>(size);
}

void ConnectionStream::get_remote_ip_and_port(std::string& ip, int& port) const {
    ip = peer_.host;
    port = peer_.port;
}

void ConnectionStream::get_local_ip_and_port(std::string& ip, int& port) const {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    char host[NI_MAXHOST] = {};
    char service[NI_MAXSERV] = {};
    if (::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) == 0 &&
        ::getnameinfo(reinterpret_cast<sockaddr*>(&address), length, host, sizeof host, service, sizeof service,
                      NI_NUMERICHOST | NI_NUMERICSERV) == 0) {
        ip = host;
        port = std::atoi(service);
    }
}

void ConnectionStream::close(bool drain) {
    if (closed_) return;
    closed_ = true;
    transport_->finish();
    if (drain) {
        const auto until = Clock::now() + drainTime;
        std::size_t drained = 0;
        char scratch[16 * 1024];
        while (drained < drainBytes && wait(TransportStatus::wantRead, until, true) == Wait::ready) {
            const ssize_t count = ::recv(socket_, scratch, sizeof scratch, 0);
            if (count <= 0 && !(count < 0 && (errno == EAGAIN || errno == EINTR))) break;
            if (count > 0) drained += static_cast<std::size_t>(count);
        }
    }
    transport_.reset();
    ::close(socket_);
}

}  // namespace nvx::depot
