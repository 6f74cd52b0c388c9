#include "inventory/linux_source/linux_probe.h"

namespace nvx::linux_source {

// Every PCI function, as lspci would list it.
nlohmann::json pciSection(LinuxProbe& probe) {
    nlohmann::json items = nlohmann::json::array();
    for (const PciDevice& device : probe.pci.devices()) items.push_back(pciDescription(device));
    return items;
}

}  // namespace nvx::linux_source
