#include "depot/connection_workers.h"

#include <system_error>

namespace nvx::depot {

ConnectionWorkers::ConnectionWorkers(std::size_t maximum, Serve serve) : maximum_(maximum), serve_(std::move(serve)) {}

ConnectionWorkers::~ConnectionWorkers() {
    stop();
}

bool ConnectionWorkers::offer(const AcceptedConnection& connection) {
    std::lock_guard lock(lock_);
    if (stopping_) return false;
    if (waiting_.size() < idle_) {
        waiting_.push_back(connection);
        arrived_.notify_one();
        return true;
    }
    if (threads_.size() >= maximum_) return false;
    waiting_.push_back(connection);
    try {
        threads_.emplace_back([this] { work(); });
    } catch (const std::system_error&) {
        // The system has no thread to give: the connection is refused.
        waiting_.pop_back();
        return false;
    }
    return true;
}

void ConnectionWorkers::work() {
    std::unique_lock lock(lock_);
    for (;;) {
        ++idle_;
        arrived_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
        --idle_;
        // Connections handed over before the stop are still served; they see
        // the stop at their first wait and end quickly.
        if (waiting_.empty()) return;
        const AcceptedConnection connection = waiting_.front();
        waiting_.pop_front();
        lock.unlock();
        serve_(connection);
        lock.lock();
    }
}

void ConnectionWorkers::stop() {
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(lock_);
        stopping_ = true;
        threads.swap(threads_);
    }
    arrived_.notify_all();
    for (auto& thread : threads) thread.join();
}

}  // namespace nvx::depot
