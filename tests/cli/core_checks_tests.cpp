// Each core check fails with its own message and a non-zero status when the
// operation it vets is broken.
#include <gtest/gtest.h>

#include "cli/core_checks.h"
#include "core/errors.h"

namespace nvx {
namespace {

class CoreChecks : public ::testing::Test {
protected:
    // The checks run in a child process: a failing one ends the process.
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
    CoreCheckSubjects subjects = CoreCheckSubjects::real();
};

TEST_F(CoreChecks, PassWithTheRealOperations) {
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(runCoreChecks(subjects), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "CORE CHECKS OK; workload checksum 12444965394858534536; stable identity, privacy filter, URL policy, "
              "cancellation\n");
}

TEST_F(CoreChecks, WorkloadThatKeepsItsSeedOrDrifts) {
    subjects.integerWork = [](std::uint64_t seed, std::int64_t) { return seed; };
    EXPECT_EXIT(runCoreChecks(subjects), ::testing::ExitedWithCode(1), "^Fatal error: Integer workload failed\n$");
    std::uint64_t calls = 0;
    subjects.integerWork = [&calls](std::uint64_t seed, std::int64_t) { return seed + ++calls; };
    EXPECT_EXIT(runCoreChecks(subjects), ::testing::ExitedWithCode(1), "^Fatal error: Integer workload failed\n$");
}

TEST_F(CoreChecks, FilterThatKeepsANestedSerial) {
    subjects.cleanedInventory = [](const nlohmann::json& inventory) {
        nlohmann::json kept = inventory;
        kept.erase("serial_number");
        kept.erase("platform_UUID");
        return kept;  // the serial inside "children" stays
    };
    EXPECT_EXIT(runCoreChecks(subjects), ::testing::ExitedWithCode(1), "^Fatal error: Identity filter failed\n$");
}

TEST_F(CoreChecks, IdentifierThatIsStableButNoUUID) {
    subjects.deviceIdentifier = [](const std::optional<std::string>& uuid) { return "id-" + uuid.value_or(""); };
    EXPECT_EXIT(runCoreChecks(subjects), ::testing::ExitedWithCode(1), "^Fatal error: Stable device ID failed\n$");
}

TEST_F(CoreChecks, PolicyThatTakesPlainHTTPAnywhereOrRefusesLoopback) {
    subjects.checkedURL = [](std::string_view) {};
    EXPECT_EXIT(runCoreChecks(subjects), ::testing::ExitedWithCode(1), "^Fatal error: URL policy failed\n$");
    subjects.checkedURL = [](std::string_view server) {
        if (server.starts_with("http://")) throw DepotriumError("refused");
    };
    EXPECT_EXIT(runCoreChecks(subjects), ::testing::ExitedWithCode(1), "^Fatal error: URL policy failed\n$");
}

TEST_F(CoreChecks, RoundThatIgnoresTheTokenOrFailsWithTheWrongError) {
    subjects.cpuRound = [](std::int64_t, double, const StopToken&) { return std::pair<double, std::uint64_t>{1.0, 1}; };
    EXPECT_EXIT(runCoreChecks(subjects), ::testing::ExitedWithCode(1), "^Fatal error: Cancellation failed\n$");
    subjects.cpuRound = [](std::int64_t, double, const StopToken&) -> std::pair<double, std::uint64_t> {
        throw DepotriumError("Не удалось измерить время процессорного теста.");
    };
    EXPECT_EXIT(runCoreChecks(subjects), ::testing::ExitedWithCode(1), "^Fatal error: Wrong cancellation error\n$");
}

}  // namespace
}  // namespace nvx
