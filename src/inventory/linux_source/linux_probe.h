#pragma once

#include <filesystem>
#include <string_view>

#include <nlohmann/json.hpp>

#include "inventory/linux_source/block_devices.h"
#include "inventory/linux_source/pci_devices.h"

namespace nvx::linux_source {

namespace fs = std::filesystem;

// What the section builders share while one tree is built: the root folder
// ("/" on a real machine, a fixture tree in tests), the PCI functions and the
// block devices, each read once.
struct LinuxProbe {
    explicit LinuxProbe(fs::path rootFolder) : root(std::move(rootFolder)), pci(root), blocks(root, pci) {}
    LinuxProbe(const LinuxProbe&) = delete;
    LinuxProbe& operator=(const LinuxProbe&) = delete;

    fs::path at(std::string_view relative) const { return root / relative; }

    fs::path root;
    PciCatalog pci;
    BlockDevices blocks;
};

// The sections, each a list of items keyed like the system profiler's data
// types. Every builder reads only what its kernel interface offers.
nlohmann::json hardwareSection(LinuxProbe& probe);
nlohmann::json memorySection(LinuxProbe& probe);
nlohmann::json displaysSection(LinuxProbe& probe);
nlohmann::json storageSection(LinuxProbe& probe);
nlohmann::json nvmeSection(LinuxProbe& probe);
nlohmann::json sataSection(LinuxProbe& probe);
nlohmann::json pciSection(LinuxProbe& probe);
nlohmann::json thunderboltSection(LinuxProbe& probe);
nlohmann::json usbSection(LinuxProbe& probe);
nlohmann::json networkSection(LinuxProbe& probe);
nlohmann::json audioSection(LinuxProbe& probe);
nlohmann::json fibreChannelSection(LinuxProbe& probe);

// Sets `key` to `value` when there is one.
template <typename Value>
void putIfPresent(nlohmann::json& item, const char* key, const std::optional<Value>& value) {
    if (value) item[key] = *value;
}

}  // namespace nvx::linux_source
