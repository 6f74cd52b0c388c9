#include "inventory/linux_source/linux_probe.h"
#include "inventory/linux_source/sysfs.h"

namespace nvx::linux_source {

// Sound cards with their driver, controller and codecs.
nlohmann::json audioSection(LinuxProbe& probe) {
    nlohmann::json items = nlohmann::json::array();
    const fs::path sound = probe.at("sys/class/sound");
    for (const std::string& card : listFolder(sound)) {
        if (!card.starts_with("card")) continue;
        const fs::path folder = sound / card;
        const std::string number = card.substr(4);
        nlohmann::json item = {{"_name", readAttribute(folder / "id").value_or(card)}, {"card", card}};
        // ALSA's long name says what the card is ("HDA Intel PCH at 0xf7f10000 irq 33").
        if (const auto cards = readText(probe.at("proc/asound/cards"))) {
            const std::string marker = " " + number + " [";
            for (std::size_t line = 0; line < cards->size();) {
                const std::size_t end = std::min(cards->find('\n', line), cards->size());
                const std::string text = cards->substr(line, end - line);
                if (text.starts_with(marker) || text.starts_with(number + " [")) {
                    const std::size_t dash = text.find(" - ");
                    if (dash != std::string::npos) item["card_name"] = collapsedBlanks(text.substr(dash + 3));
                }
                line = end + 1;
            }
        }
        putIfPresent(item, "driver", linkName(folder / "device/driver"));
        if (const PciDevice* pci = probe.pci.owning(resolved(folder / "device"))) {
            item["controller"] = pci->deviceName;
            item["vendor"] = pci->vendorName;
        }
        nlohmann::json codecs = nlohmann::json::array();
        for (const std::string& entry : listFolder(sound)) {
            if (!entry.starts_with("hwC" + number + "D")) continue;
            const auto chip = readAttribute(sound / entry / "chip_name");
            if (!chip) continue;
            nlohmann::json codec = {{"_name", *chip}};
            putIfPresent(codec, "vendor", readAttribute(sound / entry / "vendor_name"));
            codecs.push_back(std::move(codec));
        }
        if (!codecs.empty()) item["codecs"] = std::move(codecs);
        items.push_back(std::move(item));
    }
    return items;
}

}  // namespace nvx::linux_source
