#include "inventory/collector.h"

#include <ctime>
#include <chrono>
#include <optional>
#include <set>

#include "core/errors.h"
#include "core/json_text.h"
#include "core/model_catalog.h"
#include "core/random_id.h"
#include "inventory/privacy.h"

namespace nvx::Collector {

using nlohmann::json;

const std::vector<std::pair<std::string, std::string>> sections = {
    {"SPHardwareDataType", "Компьютер"},
    {"SPMemoryDataType", "Память"},
    {"SPDisplaysDataType", "Графика и экраны"},
    {"SPStorageDataType", "Тома и накопители"},
    {"SPNVMeDataType", "NVMe"},
    {"SPSerialATADataType", "SATA"},
    {"SPPCIDataType", "PCI-карты"},
    {"SPThunderboltDataType", "Thunderbolt"},
    {"SPUSBDataType", "USB"},
    {"SPEthernetDataType", "Сетевые адаптеры"},
    {"SPAudioDataType", "Аудиоустройства"},
    {"SPFibreChannelDataType", "Fibre Channel"},
};

namespace {

constexpr const char* noData = "Нет данных";

// The architecture is the build's own, not probed: a report describes the
// program that made it as much as the machine.
constexpr const char* buildArchitecture() {
#if defined(__x86_64__) || defined(_M_X64)
    return "x86_64";
#elif defined(__aarch64__) || defined(_M_ARM64)
    return "arm64";
#elif defined(__i386__)
    return "i386";
#elif defined(__arm__)
    return "arm";
#elif defined(__riscv) && __riscv_xlen == 64
    return "riscv64";
#elif defined(__powerpc64__)
    return "ppc64";
#else
    return noData;
#endif
}

std::string currentTimeISO8601() {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm utc{};
    ::gmtime_r(&now, &utc);
    char text[32];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return std::string(text, length);
}

bool isListOfObjects(const json& value) {
    if (!value.is_array()) return false;
    for (const auto& element : value)
        if (!element.is_object()) return false;
    return true;
}

std::optional<std::string> textMember(const json& object, const char* key) {
    const auto found = object.find(key);
    if (found == object.end() || !found->is_string()) return std::nullopt;
    return found->get<std::string>();
}

// The graphics names: each displays item's "sppci_model", or its "_name" when
// there is no "sppci_model" at all. A model that is present but not text names
// nothing rather than falling back to "_name".
std::vector<std::string> graphicsNames(const json& tree) {
    std::vector<std::string> names;
    const auto displays = tree.find("SPDisplaysDataType");
    if (displays == tree.end() || !isListOfObjects(*displays)) return names;
    for (const auto& item : *displays) {
        const auto model = item.find("sppci_model");
        const auto& chosen = model != item.end() ? *model : item.value("_name", json());
        if (chosen.is_string()) names.push_back(chosen.get<std::string>());
    }
    return names;
}

}  // namespace

RunReport collect(const StopToken& token, const Progress& progress) {
    return collect(platformInventorySources(), token, progress);
}

RunReport collect(const InventorySources& sources, const StopToken& token, const Progress& progress) {
    const auto report = [&](const char* text) {
        if (progress) progress(text);
    };
    report("Бурко осматривает оборудование");

    const std::set<std::string> available = sources.profiler->availableDataTypes(token);
    std::vector<std::string> requested;
    for (const auto& [dataType, title] : sections)
        if (available.contains(dataType)) requested.push_back(dataType);

    json tree = sources.profiler->sections(requested, token);
    if (!tree.is_object()) tree = json::object();

    const auto hardwareSection = tree.find("SPHardwareDataType");
    if (hardwareSection == tree.end() || !isListOfObjects(*hardwareSection) || hardwareSection->empty())
        throw DepotriumError("macOS не вернула сведения о компьютере. Опись не завершена.");
    const json hardware = hardwareSection->front();

    report("Сверяем комплектность описи");
    const std::optional<std::string> platformUUID = textMember(hardware, "platform_UUID");

    report("Осматриваем все накопители");
    std::vector<std::string> warnings;
    std::optional<std::vector<DiskSummary>> diskList;
    try {
        DiskInventory inventory = disks(*sources.diskUtility, token);
        tree["NVXDiskInventory"] = std::move(inventory.raw);
        warnings = std::move(inventory.warnings);
        diskList = std::move(inventory.disks);
    } catch (const CancellationError&) {
        throw CancellationError();
    } catch (const std::exception& error) {
        warnings = {"Полный список накопителей недоступен: " + describe(error)};
    }

    // Empty text identifies nothing either: deviceIdentifier answers it with a
    // random identifier, so the user is told just as for a missing one.
    if (!platformUUID || platformUUID->empty())
        warnings.push_back(
            "Системный идентификатор недоступен: повторные описи могут отображаться отдельными устройствами.");

    for (const auto& [dataType, title] : sections)
        if (!tree.contains(dataType))
            warnings.push_back(title + ": macOS не предоставила раздел. Это не доказывает отсутствие оборудования.");

    SystemSummary system;
    system.gpu = graphicsNames(tree);

    if (auto model = textMember(hardware, "machine_model"))
        system.model = std::move(*model);
    else
        system.model = sources.kernel.sysctlString("hw.model").value_or(noData);

    system.model_matches =
        sources.modelLookup ? sources.modelLookup(system.model) : ModelCatalog::lookup(system.model);
    if (system.model_matches->empty())
        warnings.push_back(system.model +
                           ": модель пока отсутствует во встроенном справочнике. Название и год не определены.");

    if (auto chip = textMember(hardware, "chip_type"))
        system.chip = std::move(*chip);
    else
        system.chip = sources.kernel.sysctlString("machdep.cpu.brand_string").value_or(noData);

    system.memory_bytes = sources.kernel.physicalMemoryBytes();
    const std::int64_t processors = sources.kernel.processorCount();
    system.logical_cores = sources.kernel.sysctlInt("hw.logicalcpu").value_or(processors);
    system.physical_cores = sources.kernel.sysctlInt("hw.physicalcpu").value_or(processors);
    system.os = sources.kernel.operatingSystemVersion();
    system.architecture = buildArchitecture();
    system.disks = std::move(diskList);

    RunReport result;
    result.inventory = JSONValue::parse(encodeJSONText(cleanedInventory(tree)));
    result.id = randomUUID(UUIDCase::lower);
    result.device_id = deviceIdentifier(platformUUID);
    result.created_at = currentTimeISO8601();
    result.system = std::move(system);
    result.warnings = std::move(warnings);
    return result;
}

}  // namespace nvx::Collector
