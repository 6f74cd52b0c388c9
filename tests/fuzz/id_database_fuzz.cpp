// The PCI and USB ID databases are text files of the system, often edited or
// truncated. The first 8 bytes choose the ids asked for (vendor, device,
// subsystem vendor, subsystem device), the rest is the database.
// Promise: no crash; reading from a stream and from text agree; only the
// names asked for are kept, and every name is UTF-8.

#include <sstream>

#include "fuzz_support.h"
#include "inventory/linux_source/id_database.h"

using namespace nvx;
using namespace nvx::linux_source;

namespace {

std::uint16_t word(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) << 8 | static_cast<unsigned char>(bytes[at + 1]));
}

template <typename Map>
void requireUTF8Names(const Map& names) {
    for (const auto& [id, name] : names) fuzz::require(fuzz::isUTF8(name), "database names are UTF-8", name);
}

bool operator==(const IdNames& a, const IdNames& b) {
    return a.vendors == b.vendors && a.devices == b.devices && a.subsystems == b.subsystems && a.classes == b.classes &&
           a.subclasses == b.subclasses;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input = fuzz::bytesOf(data, size);
    if (input.size() < 8) return 0;
    const std::uint16_t vendor = word(input, 0), device = word(input, 2), subVendor = word(input, 4),
                        subDevice = word(input, 6);
    const std::string_view text = input.substr(8);
    IdQuery query;
    query.vendors = {vendor};
    query.devices = {static_cast<std::uint32_t>(vendor) << 16 | device};
    query.subsystems = {static_cast<std::uint64_t>(vendor) << 48 | static_cast<std::uint64_t>(device) << 32 |
                        static_cast<std::uint64_t>(subVendor) << 16 | subDevice};

    const IdNames fromText = parseIdDatabase(text, query);
    std::istringstream stream{std::string(text)};
    const IdNames fromStream = parseIdDatabase(stream, query);
    fuzz::require(fromText == fromStream, "stream and text readings agree");

    for (const auto& [id, name] : fromText.vendors) fuzz::require(query.vendors.contains(id), "only asked vendors");
    for (const auto& [id, name] : fromText.devices) fuzz::require(query.devices.contains(id), "only asked devices");
    for (const auto& [id, name] : fromText.subsystems)
        fuzz::require(query.subsystems.contains(id), "only asked subsystems");
    requireUTF8Names(fromText.vendors);
    requireUTF8Names(fromText.devices);
    requireUTF8Names(fromText.subsystems);
    requireUTF8Names(fromText.classes);
    requireUTF8Names(fromText.subclasses);
    (void)fromText.className(static_cast<std::uint8_t>(subVendor >> 8), static_cast<std::uint8_t>(subVendor));
    return 0;
}
