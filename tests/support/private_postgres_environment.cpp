// The test program's private PostgreSQL server as a gtest environment.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "support/private_postgres.h"

namespace nvx::testing {
namespace {

class PrivatePostgresEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (!anySelectedSuiteNeedsPostgres()) return;
        try {
            server = std::make_unique<PrivatePostgres>();
        } catch (const std::exception& error) {
            failure = error.what();
        }
    }
    void TearDown() override { server.reset(); }

    std::unique_ptr<PrivatePostgres> server;
    std::string failure = "the private PostgreSQL server serves only suites whose name contains \"Postgres\"";

private:
    // Started only when a test that will run needs it, so the other tests
    // of the program (each run as a process of its own by ctest) do not
    // wait for a cluster to be made.
    static bool anySelectedSuiteNeedsPostgres() {
        const ::testing::UnitTest& tests = *::testing::UnitTest::GetInstance();
        for (int suite = 0; suite < tests.total_test_suite_count(); ++suite) {
            const ::testing::TestSuite& found = *tests.GetTestSuite(suite);
            if (std::string(found.name()).find("Postgres") == std::string::npos) continue;
            for (int test = 0; test < found.total_test_count(); ++test) {
                if (found.GetTestInfo(test)->should_run()) return true;
            }
        }
        return false;
    }
};

PrivatePostgresEnvironment* const environment =
    static_cast<PrivatePostgresEnvironment*>(::testing::AddGlobalTestEnvironment(new PrivatePostgresEnvironment));

}  // namespace

PrivatePostgres& privatePostgres() {
    if (!environment->server) throw std::runtime_error(environment->failure);
    return *environment->server;
}

}  // namespace nvx::testing
