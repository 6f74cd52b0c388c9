#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include <nlohmann/json.hpp>

#include "core/stop_token.h"

namespace nvx {

// The operations the core checks vet. Production checks the real ones; tests
// put broken ones in their place to see each check fail with its message.
struct CoreCheckSubjects {
    std::function<std::uint64_t(std::uint64_t seed, std::int64_t count)> integerWork;
    std::function<nlohmann::json(const nlohmann::json& inventory)> cleanedInventory;
    std::function<std::string(const std::optional<std::string>& platformUUID)> deviceIdentifier;
    // Returns when the address policy accepts `server`, throws DepotriumError when it refuses.
    std::function<void(std::string_view server)> checkedURL;
    std::function<std::pair<double, std::uint64_t>(std::int64_t workers, double seconds, const StopToken& token)>
        cpuRound;

    static CoreCheckSubjects real();
};

// Runs the five checks in order and prints the summary line; the first check
// that fails ends the process at once with status 1 and "Fatal error: <check
// message>" on standard error.
int runCoreChecks(const CoreCheckSubjects& subjects);

}  // namespace nvx
