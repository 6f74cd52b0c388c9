#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <limits>
#include <thread>

#include "core/errors.h"
#include "support/sample_reports.h"
#include "support/test_certificates.h"
#include "upload/depotrium_api.h"
#include "upload/fake_depot.h"

namespace nvx {
namespace {

using testing::FakeDepot;
using testing::sampleReport;

std::string failureOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const DepotriumError& error) {
        return error.message();
    }
    return "(no DepotriumError)";
}

TEST(Upload, SubmitsReadsBackAndReturnsTheRecordAddress) {
    FakeDepot depot;
    const RunReport report = sampleReport();
    EXPECT_EQ(DepotriumAPI::upload(report, depot.address()), depot.address() + "?run=" + report.id);
    EXPECT_EQ(DepotriumAPI::upload(report, depot.address() + "/"), depot.address() + "/?run=" + report.id);

    const auto seen = depot.seen();
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0].method, "POST");
    EXPECT_EQ(seen[0].target, "/api/runs");
    EXPECT_EQ(seen[0].contentType, "application/json");
    EXPECT_EQ(seen[0].body, report.data());
    EXPECT_EQ(seen[1].method, "GET");
    EXPECT_EQ(seen[1].target, "/api/runs/" + report.id);
    EXPECT_EQ(seen[1].receiptKey, seen[0].receiptKey);
    EXPECT_EQ(seen[0].receiptKey.size(), 64u);
    // Every upload makes its own key.
    EXPECT_EQ(seen[3].receiptKey, seen[2].receiptKey);
    EXPECT_NE(seen[2].receiptKey, seen[0].receiptKey);
}

TEST(Upload, SendsAnyIdentifierAsOnePathSegment) {
    FakeDepot depot;
    RunReport report = sampleReport();
    report.id = "../x y/z?#";
    EXPECT_EQ(DepotriumAPI::upload(report, depot.address()), depot.address() + "?run=..%2Fx%20y%2Fz%3F%23");
    const auto seen = depot.seen();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].target, "/api/runs/%2E%2E%2Fx%20y%2Fz%3F%23");
    EXPECT_EQ(seen[1].path, "/api/runs/../x y/z?#");
}

TEST(Upload, RefusedAddressOrUnwritableReportSendsNothing) {
    FakeDepot depot;
    EXPECT_EQ(failureOf([&] { DepotriumAPI::upload(sampleReport(), depot.address("http", "localhost") + "/api"); }),
              DepotriumAPI::addressPolicyMessage);
    RunReport report = sampleReport();
    report.metrics[0].value = std::numeric_limits<double>::quiet_NaN();
    EXPECT_THROW(DepotriumAPI::upload(report, depot.address()), EncodingError);
    EXPECT_TRUE(depot.seen().empty());
}

TEST(Upload, SubmissionAnsweredWith401IsNotAcknowledged) {
    FakeDepot depot;
    depot.onPost = [](auto&, httplib::Response& response) {
        response.status = 401;
        response.set_content(R"({"error": "ключ не принят"})", "application/json");
    };
    EXPECT_EQ(failureOf([&] { DepotriumAPI::upload(sampleReport(), depot.address()); }),
              DepotriumAPI::notAcknowledgedMessage);
    EXPECT_EQ(depot.seen().size(), 1u);  // no read-back after a refusal
}

TEST(Upload, ReadBackAnsweredWith401IsNotAcknowledged) {
    FakeDepot depot;
    depot.onGet = [](auto&, httplib::Response& response) { response.status = 401; };
    EXPECT_EQ(failureOf([&] { DepotriumAPI::upload(sampleReport(), depot.address()); }),
              DepotriumAPI::notAcknowledgedMessage);
}

TEST(Upload, AnySuccessStatusAcceptsTheSubmissionButOnly200TheReadBack) {
    FakeDepot depot;
    depot.onPost = [&depot](auto& request, httplib::Response& response) {
        depot.storeAndConfirm(request, response);
        response.status = 201;
    };
    EXPECT_NO_THROW(DepotriumAPI::upload(sampleReport(), depot.address()));

    depot.onGet = [&depot](auto& request, httplib::Response& response) {
        depot.serveStored(request, response);
        response.status = 203;
    };
    EXPECT_EQ(failureOf([&] { DepotriumAPI::upload(sampleReport(), depot.address()); }),
              DepotriumAPI::integrityMessage);
}

struct RefusalCase {
    int status;
    const char* body;
    const char* expectedMessage;
};

class SubmissionRefusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(SubmissionRefusal, ShowsTheServersTextOnlyWhenItIsAJSONString) {
    FakeDepot depot;
    const RefusalCase refusal = GetParam();
    depot.onPost = [refusal](auto&, httplib::Response& response) {
        response.status = refusal.status;
        response.set_content(refusal.body, "application/json");
    };
    EXPECT_EQ(failureOf([&] { DepotriumAPI::upload(sampleReport(), depot.address()); }), refusal.expectedMessage);
    EXPECT_EQ(depot.seen().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SubmissionRefusal,
    ::testing::Values(RefusalCase{500, R"({"error": "Склад переполнен."})", "Склад переполнен."},
                      RefusalCase{409, R"({"error": "", "id": "x"})", ""},
                      RefusalCase{500, R"({"error": {"text": "Склад переполнен."}})", DepotriumAPI::refusedMessage},
                      RefusalCase{500, R"({"error": 42})", DepotriumAPI::refusedMessage},
                      RefusalCase{500, "", DepotriumAPI::refusedMessage},
                      RefusalCase{500, "<html>Internal error</html>", DepotriumAPI::refusedMessage},
                      RefusalCase{400, R"(["error"])", DepotriumAPI::refusedMessage},
                      RefusalCase{404, "Not Found", DepotriumAPI::refusedMessage},
                      RefusalCase{300, R"({"error": "Выбор."})", "Выбор."}));

TEST(Upload, ADeeplyNestedAnswerIsNoJSONForTheClient) {
    FakeDepot depot;
    const std::string deep = std::string(1'000'000, '[') + std::string(1'000'000, ']');
    depot.onPost = [&deep](auto&, httplib::Response& response) {
        response.status = 500;
        response.set_content(R"({"error": )" + deep + "}", "application/json");
    };
    EXPECT_EQ(failureOf([&] { DepotriumAPI::upload(sampleReport(), depot.address()); }), DepotriumAPI::refusedMessage);
    depot.onPost = [&deep](auto&, httplib::Response& response) {
        response.set_content(R"({"id": )" + deep + "}", "application/json");
    };
    EXPECT_EQ(failureOf([&] { DepotriumAPI::upload(sampleReport(), depot.address()); }),
              DepotriumAPI::identifierNotConfirmedMessage);
}

class IdentifierReceipt : public ::testing::TestWithParam<const char*> {};

TEST_P(IdentifierReceipt, MustNameTheReportExactly) {
    FakeDepot depot;
    const std::string body = GetParam();
    depot.onPost = [body](auto&, httplib::Response& response) { response.set_content(body, "application/json"); };
    EXPECT_EQ(failureOf([&] { DepotriumAPI::upload(sampleReport(), depot.address()); }),
              DepotriumAPI::identifierNotConfirmedMessage);
    EXPECT_EQ(depot.seen().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Answers, IdentifierReceipt,
                         ::testing::Values("", "not json", "[]", "{}", R"({"ID": "3f2b8c1e-0d4a-4e6b-9a7c-5d1e2f3a4b5c"})",
                                           R"({"id": "3F2B8C1E-0D4A-4E6B-9A7C-5D1E2F3A4B5C"})",
                                           R"({"id": "3f2b8c1e-0d4a-4e6b-9a7c-5d1e2f3a4b5d"})",
                                           R"({"id": ["3f2b8c1e-0d4a-4e6b-9a7c-5d1e2f3a4b5c"]})", R"({"id": null})"));

TEST(Upload, ExtraMembersOfTheReceiptAreIgnored) {
    FakeDepot depot;
    depot.onPost = [&depot](auto& request, httplib::Response& response) {
        depot.storeAndConfirm(request, response);
        auto answer = nlohmann::json::parse(response.body);
        answer["stored_at"] = "2026-03-01T09:15:00Z";
        response.set_content(answer.dump(), "application/json");
    };
    EXPECT_NO_THROW(DepotriumAPI::upload(sampleReport(), depot.address()));
}

TEST(Upload, RedirectOfTheSubmissionIsNeverFollowed) {
    FakeDepot elsewhere;
    FakeDepot depot;
    depot.onPost = [&elsewhere](auto&, httplib::Response& response) {
        response.set_redirect(elsewhere.address("http", "localhost") + "/api/runs", 307);
    };
    EXPECT_EQ(failureOf([&] { DepotriumAPI::upload(sampleReport(), depot.address()); }),
              DepotriumAPI::refusedMessage);

    depot.onPost = [&elsewhere](auto&, httplib::Response& response) {
        response.set_redirect(elsewhere.address() + "/api/runs", 302);
        response.set_content(R"({"error": "Склад переехал."})", "application/json");
    };
    EXPECT_EQ(failureOf([&] { DepotriumAPI::upload(sampleReport(), depot.address()); }), "Склад переехал.");
    EXPECT_TRUE(elsewhere.seen().empty());
}

TEST(Upload, RedirectOfTheReadBackIsAnIntegrityFailure) {
    FakeDepot elsewhere;
    FakeDepot depot;
    depot.onGet = [&elsewhere](auto& request, httplib::Response& response) {
        response.set_redirect(elsewhere.address() + request.target, 301);
    };
    EXPECT_EQ(failureOf([&] { DepotriumAPI::upload(sampleReport(), depot.address()); }),
              DepotriumAPI::integrityMessage);
    EXPECT_TRUE(elsewhere.seen().empty());
}

class TamperedReadBack : public ::testing::TestWithParam<std::function<void(RunReport&)>> {};

TEST_P(TamperedReadBack, FailsTheIntegrityCheck) {
    FakeDepot depot;
    RunReport tampered = sampleReport();
    GetParam()(tampered);
    const std::string tamperedBody = tampered.data();
    depot.onGet = [tamperedBody](auto&, httplib::Response& response) {
        response.set_content(tamperedBody, "application/json");
    };
    EXPECT_EQ(failureOf([&] { DepotriumAPI::upload(sampleReport(), depot.address()); }),
              DepotriumAPI::integrityMessage);
    EXPECT_EQ(depot.seen().size(), 2u);  // the submission is not repeated
}

INSTANTIATE_TEST_SUITE_P(
    Changes, TamperedReadBack,
    ::testing::Values([](RunReport& report) { report.metrics[0].value = 412.73; },
                      [](RunReport& report) { report.metrics[0].samples.pop_back(); },
                      [](RunReport& report) { report.warnings.push_back("Лишнее предупреждение."); },
                      [](RunReport& report) { report.inventory = JSONValue::parse(R"({"SPHardwareDataType": []})"); },
                      [](RunReport& report) { report.description.reset(); },
                      [](RunReport& report) { (*report.system.disks)[1].internal.reset(); },
                      [](RunReport& report) { report.completed = false; }));

TEST(Upload, UnreadableReadBackFailsTheIntegrityCheck) {
    FakeDepot depot;
    for (const char* body : {"", "{}", "not json", R"({"id": "3f2b8c1e-0d4a-4e6b-9a7c-5d1e2f3a4b5c"})"}) {
        depot.onGet = [body](auto&, httplib::Response& response) { response.set_content(body, "application/json"); };
        EXPECT_EQ(failureOf([&] { DepotriumAPI::upload(sampleReport(), depot.address()); }),
                  DepotriumAPI::integrityMessage)
            << body;
    }
}

// A port that refuses connections: bound, never listening, held until the
// test ends so nobody else takes it meanwhile.
class ClosedPort {
public:
    ClosedPort() {
        socket_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        socklen_t length = sizeof address;
        ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~ClosedPort() { ::close(socket_); }
    int port() const { return port_; }

private:
    int socket_ = -1;
    int port_ = 0;
};

TEST(Upload, TransportFailureIsPassedOnAsSuch) {
    ClosedPort closed;
    try {
        DepotriumAPI::upload(sampleReport(), "http://127.0.0.1:" + std::to_string(closed.port()));
        FAIL() << "uploaded to a closed port";
    } catch (const TransportError& error) {
        EXPECT_TRUE(std::string(error.what()).starts_with("Не удалось связаться со складом: ")) << error.what();
    }
}

TEST(Upload, OversizedAnswerIsRefusedWithoutReadingIt) {
    FakeDepot depot;
    constexpr std::size_t oversized = DepotriumAPI::maximumResponseBytes + 1;
    // Announced by its length...
    depot.onGet = [](auto&, httplib::Response& response) {
        response.set_content(std::string(oversized, ' '), "application/json");
    };
    EXPECT_THROW(DepotriumAPI::upload(sampleReport(), depot.address()), TransportError);
    // ...or streamed without one.
    depot.onGet = [](auto&, httplib::Response& response) {
        response.set_chunked_content_provider("application/json", [](std::size_t offset, httplib::DataSink& sink) {
            static const std::string block(1 << 20, ' ');
            if (offset >= oversized) {
                sink.done();
                return true;
            }
            return sink.write(block.data(), block.size());
        });
    };
    EXPECT_THROW(DepotriumAPI::upload(sampleReport(), depot.address()), TransportError);
}

TEST(Upload, ConcurrentUploadsFromSeveralThreadsAllSucceed) {
    FakeDepot depot;
    std::atomic<int> succeeded{0};
    std::vector<std::thread> threads;
    for (int thread = 0; thread < 6; ++thread) {
        threads.emplace_back([&, thread] {
            for (int round = 0; round < 5; ++round) {
                RunReport report = sampleReport();
                report.id = "run-" + std::to_string(thread) + "-" + std::to_string(round);
                try {
                    if (DepotriumAPI::upload(report, depot.address()).ends_with(report.id)) ++succeeded;
                } catch (const std::exception&) {
                }
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(succeeded.load(), 30);
}

class SecureDepot : public ::testing::Test {
protected:
    testing::TestCertificates certificates = testing::TestCertificates::make("NVX Test Authority");
    FakeDepot depot{std::make_unique<httplib::SSLServer>(certificates.server.get(), certificates.serverKey.get())};
};

TEST_F(SecureDepot, TrustedCertificateCompletesTheUpload) {
    const UploadOptions trusting{certificates.authorityPEM()};
    for (const char* host : {"127.0.0.1", "localhost"}) {
        EXPECT_EQ(DepotriumAPI::upload(sampleReport(), depot.address("https", host), trusting),
                  depot.address("https", host) + "?run=" + sampleReport().id);
    }
}

TEST_F(SecureDepot, UntrustedCertificateIsATransportFailure) {
    EXPECT_THROW(DepotriumAPI::upload(sampleReport(), depot.address("https")), TransportError);
    const auto stranger = testing::TestCertificates::make("Someone Else");
    EXPECT_THROW(DepotriumAPI::upload(sampleReport(), depot.address("https"), {stranger.authorityPEM()}),
                 TransportError);
    EXPECT_TRUE(depot.seen().empty());
}

}  // namespace
}  // namespace nvx
