#pragma once

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <string_view>

namespace nvx::testing {

// A bare TCP connection to 127.0.0.1, for clients that misbehave in ways no
// HTTP library would.
class RawConnection {
public:
    explicit RawConnection(int port) {
        socket_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (socket_ < 0 || ::connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            if (socket_ >= 0) ::close(socket_);
            throw std::runtime_error("connect");
        }
    }
    ~RawConnection() {
        if (socket_ >= 0) ::close(socket_);
    }
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;

    // False once the server has closed the connection.
    bool send(std::string_view bytes) {
        return ::send(socket_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
    }

    // What arrives until the server closes the connection or `limit` passes;
    // closed() then tells which.
    std::string readUntilClosed(std::chrono::milliseconds limit) {
        std::string received;
        const auto deadline = std::chrono::steady_clock::now() + limit;
        char buffer[4096];
        for (;;) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            pollfd watched{socket_, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&watched, 1, static_cast<int>(left.count())) <= 0) return received;
            const ssize_t count = ::recv(socket_, buffer, sizeof buffer, 0);
            if (count <= 0) {
                closed_ = true;
                return received;
            }
            received.append(buffer, static_cast<std::size_t>(count));
        }
    }

    bool closed() const { return closed_; }

private:
    int socket_ = -1;
    bool closed_ = false;
};

// The status code of a raw HTTP answer, 0 when there is none.
inline int statusOf(std::string_view answer) {
    if (answer.size() < 12 || answer.substr(0, 7) != "HTTP/1.") return 0;
    return std::stoi(std::string(answer.substr(9, 3)));
}

}  // namespace nvx::testing
