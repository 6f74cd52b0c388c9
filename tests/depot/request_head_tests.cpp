// What the depot decides from a request head before it reads a body.

#include <gtest/gtest.h>

#include "depot/request_head.h"

namespace nvx::depot {
namespace {

std::optional<int> refusalStatus(const std::string& head) {
    const auto refusal = refusalOf(inspectRequestHead(head), ConnectionLimits{});
    return refusal ? std::optional(refusal->status) : std::nullopt;
}

TEST(RequestHead, ReadsTheRequestLineAndTheHeadersThatFrameTheBody) {
    const RequestHead head = inspectRequestHead(
        "POST /api/runs HTTP/1.1\r\nHost: depot\r\ncontent-LENGTH:  1234 \r\nContent-Encoding: GZip\r\n\r\n");
    EXPECT_EQ(head.method, "POST");
    EXPECT_EQ(head.target, "/api/runs");
    EXPECT_EQ(head.contentLength, 1234u);
    EXPECT_EQ(head.contentEncoding, "gzip");
    EXPECT_FALSE(head.transferEncoding);
    EXPECT_TRUE(head.expectsBody());
    EXPECT_FALSE(inspectRequestHead("GET /?run=x HTTP/1.1\r\n\r\n").expectsBody());
}

TEST(RequestHead, BodiesWithoutAClearLengthOrOverTheLimitAreRefusedUnread) {
    EXPECT_EQ(refusalStatus("POST /api/runs HTTP/1.1\r\nContent-Length: 20\r\n\r\n"), std::nullopt);
    EXPECT_EQ(refusalStatus("GET / HTTP/1.1\r\nHost: x\r\n\r\n"), std::nullopt);
    EXPECT_EQ(refusalStatus("POST /api/runs HTTP/1.1\r\nContent-Length: 33554432\r\n\r\n"), std::nullopt);
    EXPECT_EQ(refusalStatus("POST /api/runs HTTP/1.1\r\nContent-Length: 33554433\r\n\r\n"), 413);
    EXPECT_EQ(refusalStatus("POST /api/runs HTTP/1.1\r\nContent-Length: 99999999999999999999999\r\n\r\n"), 400);
    // Without a length the library would read until the client stops.
    EXPECT_EQ(refusalStatus("POST /api/runs HTTP/1.1\r\nHost: x\r\n\r\n"), 411);
    EXPECT_EQ(refusalStatus("POST /api/runs HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n"), 411);
    EXPECT_EQ(refusalStatus("GET / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n"), 411);
    // Two lengths that disagree are how requests get smuggled past proxies.
    EXPECT_EQ(refusalStatus("POST /api/runs HTTP/1.1\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\n"), 400);
    EXPECT_EQ(refusalStatus("POST /api/runs HTTP/1.1\r\nContent-Length: 5\r\nContent-Length: 5\r\n\r\n"), std::nullopt);
    EXPECT_EQ(refusalStatus("POST /api/runs HTTP/1.1\r\nContent-Length: -5\r\n\r\n"), 400);
    // A compressed body could expand far beyond the limit.
    EXPECT_EQ(refusalStatus("POST /api/runs HTTP/1.1\r\nContent-Length: 5\r\nContent-Encoding: gzip\r\n\r\n"), 415);
    EXPECT_EQ(refusalStatus("POST /api/runs HTTP/1.1\r\nContent-Length: 5\r\nContent-Encoding: identity\r\n\r\n"),
              std::nullopt);
}

TEST(RequestHead, TheSizeLimitFollowsTheConfiguredOne) {
    ConnectionLimits limits;
    limits.maximumBodyBytes = 2 * 1024 * 1024;
    const auto refusal = refusalOf(inspectRequestHead("PUT /x HTTP/1.1\r\nContent-Length: 3000000\r\n\r\n"), limits);
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->message, "Опись больше 2 МиБ; склад такие не принимает.");
}

}  // namespace
}  // namespace nvx::depot
