#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "depot/connection_stream.h"

namespace nvx::depot {

struct AcceptedConnection {
    int socket = -1;
    PeerAddress peer;
};

// The threads that serve accepted connections: one connection per thread at
// a time, at most `maximum` at once. Threads start when needed and stay for
// the next connection, so a busy depot does not pay for a thread per client.
class ConnectionWorkers {
public:
    // `serve` handles one connection to its end and closes its socket.
    using Serve = std::function<void(const AcceptedConnection&)>;

    ConnectionWorkers(std::size_t maximum, Serve serve);
    ~ConnectionWorkers();
    ConnectionWorkers(const ConnectionWorkers&) = delete;
    ConnectionWorkers& operator=(const ConnectionWorkers&) = delete;

    // Hands the connection to a free thread. False when all are busy (or the
    // workers stopped): the caller still owns the socket.
    bool offer(const AcceptedConnection& connection);

    // Takes no more connections and waits for those being served to end.
    void stop();

private:
    void work();

    const std::size_t maximum_;
    const Serve serve_;
    std::mutex lock_;
    std::condition_variable arrived_;
    std::deque<AcceptedConnection> waiting_;
    std::size_t idle_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace nvx::depot
