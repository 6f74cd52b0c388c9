#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace nvx::linux_source {

// The processor's name from /proc/cpuinfo: "model name" on x86, the
// implementer and part numbers (named where known) on ARM.
std::optional<std::string> processorName(std::string_view cpuinfo);

// Processors of the machine under `root`: online logical processors, distinct
// cores and packages from the topology folders (else /proc/cpuinfo). Zero
// where nothing says.
struct ProcessorCounts {
    std::size_t logical = 0;
    std::size_t physical = 0;
    std::size_t packages = 0;
};
ProcessorCounts countProcessors(const std::filesystem::path& root);

}  // namespace nvx::linux_source
