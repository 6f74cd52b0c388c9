// Five quick self-checks of the behaviour that must never drift: the CPU
// workload, the privacy filter, the device identity, the server address
// policy and cancellation. The first failure stops the process.
#include <cstdio>
#include <cstdlib>
#include <string>

#include <nlohmann/json.hpp>

#include "bench/benchmarks.h"
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

std::uint64_t checkIntegerWorkload() {
    const auto first = integerWork(1337, 10000);
    const auto second = integerWork(1337, 10000);
    if (first == 1337 || first != second) fatalStop("Integer workload failed");
    return first;
}

void checkPrivacyFilter() {
    const nlohmann::json fragment = {
        {"serial_number", "secret"},
        {"platform_UUID", "secret"},
        {"children", nlohmann::json::array({{{"device_serial_number", "secret"}, {"name", "disk"}}})}};
    const auto cleaned = cleanedInventory(fragment);
    if (!cleaned.is_object()) fatalStop("Identity filter failed");
    std::string text;
    try {
        text = cleaned.dump();
    } catch (const std::exception& error) {
        fatalStop(std::string("Identity filter output cannot be serialised: ") + error.what());
    }
    if (text.find("secret") != std::string::npos) fatalStop("Identity filter failed");
}

void checkStableDeviceIdentifier() {
    const auto identifier = deviceIdentifier(std::string("known-test-uuid"));
    const bool stable = identifier == deviceIdentifier(std::string("known-test-uuid"));
    const bool distinct = identifier != deviceIdentifier(std::string("another-uuid"));
    if (!isCanonicalUUID(identifier) || !stable || !distinct) fatalStop("Stable device ID failed");
}

bool accepted(const char* address) {
    try {
        DepotriumAPI::checkedURL(address);
        return true;
    } catch (const DepotriumError&) {
        return false;
    }
}

void checkServerAddressPolicy() {
    const bool ok = !accepted("http://depot.nvx.example") && accepted("http://127.0.0.1:8916") &&
                    accepted(defaultServerAddress);
    if (!ok) fatalStop("URL policy failed");
}

void checkCancellation() {
    StopToken token;
    token.cancel();
    try {
        Benchmarks::cpuRound(2, 0.1, token);
    } catch (const CancellationError&) {
        return;
    } catch (...) {
        fatalStop("Wrong cancellation error");
    }
    fatalStop("Cancellation failed");
}

}  // namespace

int runCoreChecks() {
    const auto checksum = checkIntegerWorkload();
    checkPrivacyFilter();
    checkStableDeviceIdentifier();
    checkServerAddressPolicy();
    checkCancellation();
    std::printf("CORE CHECKS OK; workload checksum %llu; stable identity, privacy filter, URL policy, cancellation\n",
                static_cast<unsigned long long>(checksum));
    return 0;
}

}  // namespace nvx
