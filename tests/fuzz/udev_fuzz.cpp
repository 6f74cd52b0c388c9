// udev's database records and the mount tables come from files other
// programs write. Promise: no crash; udev keeps only the properties that
// describe drives and file systems (never serials or UUIDs), as UTF-8; every
// mount entry has a mount point.

#include <set>

#include "fuzz_support.h"
#include "inventory/linux_source/block_devices.h"

using namespace nvx;
using namespace nvx::linux_source;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = fuzz::bytesOf(data, size);
    static const std::set<std::string> kept = {"ID_FS_LABEL", "ID_FS_TYPE", "ID_MODEL", "ID_MODEL_ENC", "ID_BUS",
                                               "ID_ATA_SATA", "ID_ATA_ROTATION_RATE_RPM", "ID_REVISION", "ID_VENDOR"};
    for (const auto& [key, value] : parseUdevRecord(text)) {
        fuzz::require(kept.contains(key), "udev keeps only describing properties", key);
        fuzz::require(fuzz::isUTF8(value), "udev values are UTF-8", value);
    }
    for (const auto& mounts : {parseMountInfo(text), parseMounts(text)})
        for (const auto& mount : mounts) fuzz::require(!mount.mountPoint.empty(), "a mount has a mount point");
    return 0;
}
