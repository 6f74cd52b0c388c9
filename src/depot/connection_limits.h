#pragma once

#include <chrono>
#include <cstddef>

#include "core/report_limits.h"

namespace nvx::depot {

// What one client may hold of the depot. Every connection has its own
// thread, so a slow or idle client costs one slot of `maximumConnections`
// and nothing else; the deadlines give every slot back in bounded time.
struct ConnectionLimits {
    // Connections served at once; one more is answered 503 and closed.
    std::size_t maximumConnections = 256;
    // The request line and headers together.
    std::size_t maximumHeaderBytes = 64 * 1024;
    // A larger announced body is answered 413 without being read.
    std::size_t maximumBodyBytes = maximumReportBytes;
    // A whole request, from its first byte (on a new connection: from the
    // connection, TLS handshake included) to the last byte of its body, must
    // arrive within this time plus the body's allowance below. Unlike a
    // per-read idle time, a client trickling a byte now and then cannot keep
    // its slot longer.
    std::chrono::milliseconds requestTime{30'000};
    // Allowance for the body on top of requestTime: its announced length at
    // this rate, so a large report over a slow line still gets through.
    std::size_t minimumBodyBytesPerSecond = 256 * 1024;
    // How long a kept-alive connection may wait for its next request.
    std::chrono::milliseconds keepAliveIdle{5'000};
    // The time to write one answer to a client that reads slowly.
    std::chrono::milliseconds responseTime{60'000};
    // Requests on one connection before it is closed.
    std::size_t keepAliveRequests = 1000;
    // Bodies above `unbudgetedBodyBytes` are held in memory only while their
    // total stays within `bodyBudgetBytes`; beyond it the depot answers 503,
    // so a few large uploads cannot take all memory.
    std::size_t unbudgetedBodyBytes = 4 * 1024 * 1024;
    std::size_t bodyBudgetBytes = 256 * 1024 * 1024;
};

}  // namespace nvx::depot
