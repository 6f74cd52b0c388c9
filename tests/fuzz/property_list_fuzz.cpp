// The disk utility's property lists (XML and binary) pass through libplist.
// Promise: parsing never crashes and fails only with ParseError; what it
// returns holds only UTF-8 text, so it can always be written as JSON.

#include <cmath>

#include "core/errors.h"
#include "fuzz_support.h"
#include "inventory/property_list.h"

using namespace nvx;

namespace {

// Non-finite reals are allowed in a property list; the collector never
// copies a number into the report without checking it.
void requireWritable(const nlohmann::json& value) {
    try {
        (void)value.dump();
    } catch (const nlohmann::json::type_error&) {
        fuzz::brokenPromise("a property list's texts are UTF-8");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        requireWritable(parsePropertyList(fuzz::bytesOf(data, size)));
    } catch (const ParseError&) {
    }
    return 0;
}
