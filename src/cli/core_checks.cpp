// Five quick self-checks of the behaviour that must never drift: the CPU
// workload, the privacy filter, the device identity, the server address
// policy and cancellation. The first failure stops the process.
#include <cstdio>
#include <cstdlib>
#include <string>

#include <nlohmann/json.hpp>

#include "bench/benchmarks.h"
#include "cli/core_checks.h"
#include "cli/modes.h"
#include "core/default_server.h"
#include "core/errors.h"
#include "core/random_id.h"
#include "core/stop_token.h"
#include "inventory/privacy.h"
#include "upload/depotrium_api.h"

namespace nvx {

namespace {

[[noreturn]] void fatalStop(const std::string& message) {
    std::fprintf(stderr, "Fatal error: %s\n", message.c_str());
    std::fflush(stderr);
    std::_Exit(EXIT_FAILURE);
}

std::uint64_t checkIntegerWorkload(const CoreCheckSubjects& subjects) {
    const auto first = subjects.integerWork(1337, 10000);
    const auto second = subjects.integerWork(1337, 10000);
    if (first == 1337 || first != second) fatalStop("Integer workload failed");
    return first;
}

void checkPrivacyFilter(const CoreCheckSubjects& subjects) {
    const nlohmann::json fragment = {
        {"serial_number", "secret"},
        {"platform_UUID", "secret"},
        {"children", nlohmann::json::array({{{"device_serial_number", "secret"}, {"name", "disk"}}})}};
    const auto cleaned = subjects.cleanedInventory(fragment);
    if (!cleaned.is_object()) fatalStop("Identity filter failed");
    std::string text;
    try {
        text = cleaned.dump();
    } catch (const std::exception& error) {
        fatalStop(std::string("Identity filter output cannot be serialised: ") + error.what());
    }
    if (text.find("secret") != std::string::npos) fatalStop("Identity filter failed");
}

void checkStableDeviceIdentifier(const CoreCheckSubjects& subjects) {
    const auto identifier = subjects.deviceIdentifier(std::string("known-test-uuid"));
    const bool stable = identifier == subjects.deviceIdentifier(std::string("known-test-uuid"));
    const bool distinct = identifier != subjects.deviceIdentifier(std::string("another-uuid"));
    if (!isCanonicalUUID(identifier) || !stable || !distinct) fatalStop("Stable device ID failed");
}

void checkServerAddressPolicy(const CoreCheckSubjects& subjects) {
    const auto accepted = [&](const char* address) {
        try {
            subjects.checkedURL(address);
            return true;
        } catch (const DepotriumError&) {
            return false;
        }
    };
    const bool ok =
        !accepted("http://depot.nvx.example") && accepted("http://127.0.0.1:8916") && accepted(defaultServerAddress);
    if (!ok) fatalStop("URL policy failed");
}

void checkCancellation(const CoreCheckSubjects& subjects) {
    StopToken token;
    token.cancel();
    try {
        subjects.cpuRound(2, 0.1, token);
    } catch (const CancellationError&) {
        return;
    } catch (...) {
        fatalStop("Wrong cancellation error");
    }
    fatalStop("Cancellation failed");
}

}  // namespace

CoreCheckSubjects CoreCheckSubjects::real() {
    CoreCheckSubjects subjects;
    subjects.integerWork = nvx::integerWork;
    subjects.cleanedInventory = nvx::cleanedInventory;
    subjects.deviceIdentifier = nvx::deviceIdentifier;
    subjects.checkedURL = [](std::string_view server) { DepotriumAPI::checkedURL(server); };
    subjects.cpuRound = Benchmarks::cpuRound;
    return subjects;
}

int runCoreChecks(const CoreCheckSubjects& subjects) {
    const auto checksum = checkIntegerWorkload(subjects);
    checkPrivacyFilter(subjects);
    checkStableDeviceIdentifier(subjects);
    checkServerAddressPolicy(subjects);
    checkCancellation(subjects);
    std::printf("CORE CHECKS OK; workload checksum %llu; stable identity, privacy filter, URL policy, cancellation\n",
                static_cast<unsigned long long>(checksum));
    std::fflush(stdout);
    return 0;
}

int runCoreChecks() {
    return runCoreChecks(CoreCheckSubjects::real());
}

}  // namespace nvx
