#include "inventory/linux_source/edid.h"

#include "inventory/utf8_text.h"

namespace nvx::linux_source {

MonitorIdentity parseEdid(std::string_view edid) {
    MonitorIdentity identity;
    static constexpr unsigned char header[] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
    if (edid.size() < 128 || edid.substr(0, 8) != std::string_view(reinterpret_cast<const char*>(header), 8))
        return identity;
    const auto byte = [&](std::size_t index) { return static_cast<unsigned char>(edid[index]); };

    const unsigned packed = byte(8) << 8 | byte(9);
    std::string pnp;
    for (const int shift : {10, 5, 0}) {
        const unsigned letter = (packed >> shift) & 0x1F;
        if (letter < 1 || letter > 26) {
            pnp.clear();
            break;
        }
        pnp += static_cast<char>('A' + letter - 1);
    }
    if (!pnp.empty()) identity.manufacturer = pnp;
    if (byte(17) > 0 && byte(17) < 0xFF) identity.yearOfManufacture = 1990 + byte(17);

    for (std::size_t descriptor = 54; descriptor + 18 <= 126; descriptor += 18) {
        if (byte(descriptor) != 0 || byte(descriptor + 1) != 0 || byte(descriptor + 3) != 0xFC) continue;
        std::string name;
        for (std::size_t index = descriptor + 5; index < descriptor + 18 && byte(index) != 0x0A; ++index)
            name += static_cast<char>(byte(index));
        while (!name.empty() && name.back() == ' ') name.pop_back();
        if (!name.empty()) identity.name = repairedUTF8(name);
    }
    return identity;
}

}  // namespace nvx::linux_source
