// /proc and sysfs texts: the processor's description, os-release, kernel
// attributes and the small parsers under them. The input is up to three
// texts: /proc/cpuinfo, os-release, the kernel release.
// Promise: no crash; every text that reaches the report is UTF-8, so the
// report can always be written; numbers read back as written; attributes
// come trimmed.

#include <charconv>
#include <filesystem>
#include <fstream>

#include <stdlib.h>

#include "fuzz_support.h"
#include "inventory/linux_source/hardware_section.h"
#include "inventory/linux_source/linux_sources.h"
#include "inventory/linux_source/sysfs.h"

using namespace nvx;
using namespace nvx::linux_source;
namespace fs = std::filesystem;

namespace {

fs::path scratch;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    scratch = fuzz::scratchFolder("nvx-fuzz-procfs");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto texts = fuzz::pieces(fuzz::bytesOf(data, size), 3);
    const std::string_view cpuinfo = texts[0], osRelease = texts[1], kernelRelease = texts[2];

    if (const auto name = processorName(cpuinfo))
        fuzz::require(fuzz::isUTF8(*name), "the processor name is UTF-8", *name);
    const std::string system = operatingSystemText(osRelease, kernelRelease);
    fuzz::require(fuzz::isUTF8(system), "the system's name is UTF-8", system);
    for (const auto& [key, value] : parseKeyValueLines(osRelease))
        fuzz::require(fuzz::isUTF8(value), "os-release values are UTF-8", value);

    const std::string collapsed = collapsedBlanks(kernelRelease);
    fuzz::require(collapsedBlanks(collapsed) == collapsed, "collapsing blanks twice changes nothing");

    for (int base : {10, 16}) {
        if (const auto number = parseUnsigned(kernelRelease, base)) {
            char digits[32];
            const auto end = std::to_chars(digits, digits + sizeof digits, *number, base).ptr;
            fuzz::require(parseUnsigned(std::string_view(digits, end - digits), base) == number,
                          "a parsed number reads back as written");
        }
    }
    fuzz::require(!naturalLess(cpuinfo, cpuinfo), "natural order is irreflexive");
    if (naturalLess(cpuinfo, osRelease)) fuzz::require(!naturalLess(osRelease, cpuinfo), "natural order is asymmetric");

    // A kernel attribute file holding the first text.
    const fs::path attribute = scratch / "attribute";
    {
        std::ofstream stream(attribute, std::ios::binary | std::ios::trunc);
        stream.write(cpuinfo.data(), static_cast<std::streamsize>(cpuinfo.size()));
    }
    if (const auto value = readAttribute(attribute)) {
        fuzz::require(!value->empty() && fuzz::isUTF8(*value), "an attribute is non-empty UTF-8", *value);
        const char last = value->back();
        fuzz::require(last != '\n' && last != ' ' && last != '\0' && last != '\t', "an attribute comes trimmed", *value);
    }
    return 0;
}
