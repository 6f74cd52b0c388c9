// EDID blocks are written by the monitor's maker and read from sysfs.
// Promise: no crash for any bytes; the name is UTF-8 text of at most one
// descriptor's 13 characters (each byte repaired to at most three), the
// maker three capital letters, the year within what the block can say.

#include "fuzz_support.h"
#include "inventory/linux_source/edid.h"

using namespace nvx;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto identity = linux_source::parseEdid(fuzz::bytesOf(data, size));
    if (identity.name) {
        fuzz::require(!identity.name->empty() && identity.name->size() <= 13 * 3, "a monitor name is one descriptor");
        fuzz::require(fuzz::isUTF8(*identity.name), "a monitor name is UTF-8", *identity.name);
    }
    if (identity.manufacturer) {
        fuzz::require(identity.manufacturer->size() == 3, "a maker id has three letters");
        for (char letter : *identity.manufacturer) fuzz::require(letter >= 'A' && letter <= 'Z', "a maker id is capitals");
    }
    if (identity.yearOfManufacture)
        fuzz::require(*identity.yearOfManufacture > 1990 && *identity.yearOfManufacture < 1990 + 255, "a plausible year");
    return 0;
}
