#include "inventory/sysctl.h"

#include <array>
#include <cerrno>
#include <charconv>
#include <set>
#include <string_view>
#include <tuple>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "inventory/linux_source/firmware_text.h"
#include "inventory/utf8_text.h"

namespace nvx {

namespace {

namespace fs = std::filesystem;

// Kernel attributes are a few bytes; anything larger is not one of them.
constexpr std::size_t attributeSizeLimit = 1 << 20;
// The kernel's own limit on CPU numbers is far below this.
constexpr int highestCPUNumber = 1 << 16;

// The content of a small kernel file; absent when it is missing, unreadable,
// not a regular file or implausibly large. Never blocks: /proc and /sys files
// report size 0, so they are read to the end.
std::optional<std::string> readAttribute(const fs::path& path) {
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (descriptor < 0) return std::nullopt;
    struct stat info {};
    std::optional<std::string> content;
    if (::fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode)) {
        content.emplace();
        std::array<char, 4096> buffer;
        for (;;) {
            const ssize_t count = ::read(descriptor, buffer.data(), buffer.size());
            if (count < 0 && errno == EINTR) continue;
            if (count < 0 || content->size() + static_cast<std::size_t>(count) > attributeSizeLimit) {
                content.reset();
                break;
            }
            if (count == 0) break;
            content->append(buffer.data(), static_cast<std::size_t>(count));
        }
    }
    ::close(descriptor);
    return content;
}

std::string_view trimmed(std::string_view text) {
    constexpr std::string_view blanks = " \t\r\n\v\f";
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

template <typename Number>
std::optional<Number> parsedNumber(std::string_view text) {
    text = trimmed(text);
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// A kernel CPU list such as "0-3,8,10-11"; absent when it is not one.
std::optional<std::set<int>> parsedCPUList(std::string_view text) {
    text = trimmed(text);
    if (text.empty()) return std::nullopt;
    std::set<int> cpus;
    while (!text.empty()) {
        const auto comma = text.find(',');
        const auto item = text.substr(0, comma);
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
        const auto dash = item.find('-');
        const auto first = parsedNumber<int>(item.substr(0, dash));
        const auto last = dash == std::string_view::npos ? first : parsedNumber<int>(item.substr(dash + 1));
        if (!first || !last || *first < 0 || *last < *first || *last > highestCPUNumber) return std::nullopt;
        for (int cpu = *first; cpu <= *last; ++cpu) cpus.insert(cpu);
    }
    return cpus;
}

// The CPUs that are online: the kernel's own list, or, where a tree lacks
// it, every cpuN folder not marked offline.
std::optional<std::set<int>> onlineCPUs(const fs::path& root) {
    const auto folder = root / "sys/devices/system/cpu";
    if (const auto list = readAttribute(folder / "online")) return parsedCPUList(*list);
    std::set<int> cpus;
    std::error_code error;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error)) {
        const auto name = entry->path().filename().string();
        if (name.size() <= 3 || name.compare(0, 3, "cpu") != 0) continue;
        const auto number = parsedNumber<int>(std::string_view(name).substr(3));
        if (!number || *number < 0 || *number > highestCPUNumber) continue;
        const auto online = readAttribute(entry->path() / "online");
        if (!online || trimmed(*online) == "1") cpus.insert(*number);
    }
    if (cpus.empty()) return std::nullopt;
    return cpus;
}

// Physical cores: the distinct (package, die, cluster, core) places of the
// online CPUs. Hardware threads of one core share all four. Die and cluster
// count because some ARM systems number cores afresh in every cluster.
std::optional<std::int64_t> physicalCores(const fs::path& root) {
    const auto cpus = onlineCPUs(root);
    if (!cpus) return std::nullopt;
    std::set<std::tuple<long, long, long, long>> cores;
    for (int cpu : *cpus) {
        const auto topology = root / "sys/devices/system/cpu" / ("cpu" + std::to_string(cpu)) / "topology";
        const auto value = [&](const char* name) -> std::optional<long> {
            const auto text = readAttribute(topology / name);
            return text ? parsedNumber<long>(*text) : std::nullopt;
        };
        const auto package = value("physical_package_id");
        const auto core = value("core_id");
        if (!package || !core) return std::nullopt;
        cores.emplace(*package, value("die_id").value_or(0), value("cluster_id").value_or(0), *core);
    }
    return static_cast<std::int64_t>(cores.size());
}

struct CPUPart {
    unsigned implementer;
    unsigned part;
    const char* name;
};

// Names of common 64-bit ARM cores, which /proc/cpuinfo gives only as numbers.
constexpr CPUPart armParts[] = {
    {0x41, 0xd03, "Cortex-A53"},  {0x41, 0xd04, "Cortex-A35"},  {0x41, 0xd05, "Cortex-A55"},
    {0x41, 0xd07, "Cortex-A57"},  {0x41, 0xd08, "Cortex-A72"},  {0x41, 0xd09, "Cortex-A73"},
    {0x41, 0xd0a, "Cortex-A75"},  {0x41, 0xd0b, "Cortex-A76"},  {0x41, 0xd0c, "Neoverse-N1"},
    {0x41, 0xd0d, "Cortex-A77"},  {0x41, 0xd40, "Neoverse-V1"}, {0x41, 0xd41, "Cortex-A78"},
    {0x41, 0xd44, "Cortex-X1"},   {0x41, 0xd46, "Cortex-A510"}, {0x41, 0xd47, "Cortex-A710"},
    {0x41, 0xd48, "Cortex-X2"},   {0x41, 0xd49, "Neoverse-N2"}, {0x41, 0xd4d, "Cortex-A715"},
    {0x41, 0xd4e, "Cortex-X3"},   {0x41, 0xd4f, "Neoverse-V2"}, {0x41, 0xd80, "Cortex-A520"},
    {0x41, 0xd81, "Cortex-A720"}, {0x41, 0xd82, "Cortex-X4"},
};

struct Implementer {
    unsigned code;
    const char* name;
};

constexpr Implementer armImplementers[] = {
    {0x41, "ARM"},    {0x42, "Broadcom"}, {0x43, "Cavium"},   {0x46, "Fujitsu"}, {0x48, "HiSilicon"},
    {0x4e, "NVIDIA"}, {0x50, "APM"},      {0x51, "Qualcomm"}, {0x53, "Samsung"}, {0x56, "Marvell"},
    {0x61, "Apple"},  {0x69, "Intel"},    {0xc0, "Ampere"},
};

std::optional<unsigned> hexNumber(std::string_view text) {
    text = trimmed(text);
    if (text.size() < 3 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) return std::nullopt;
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data() + 2, text.data() + text.size(), value, 16);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// "ARM Neoverse-N1" from the implementer and part numbers of an ARM CPU.
std::optional<std::string> armCoreName(std::string_view implementerText, std::string_view partText) {
    const auto implementer = hexNumber(implementerText);
    const auto part = hexNumber(partText);
    if (!implementer || !part) return std::nullopt;
    const char* maker = nullptr;
    for (const auto& known : armImplementers)
        if (known.code == *implementer) maker = known.name;
    if (!maker) return std::nullopt;
    for (const auto& known : armParts)
        if (known.implementer == *implementer && known.part == *part) return std::string(maker) + " " + known.name;
    char number[16];
    const auto end = std::to_chars(number, number + sizeof number, *part, 16).ptr;
    return std::string(maker) + " CPU part 0x" + std::string(number, end);
}

// The processor's name from /proc/cpuinfo: "model name" where the kernel
// gives it (x86 and some ARM systems); on 64-bit ARM the names of the cores
// built from their part numbers (big and little cores both named); else the
// field other architectures use.
std::optional<std::string> cpuBrandFromCPUInfo(std::string_view cpuinfo) {
    std::vector<std::string> armNames;
    std::string implementer;
    std::optional<std::string> fallback;
    while (!cpuinfo.empty()) {
        const auto newline = cpuinfo.find('\n');
        const auto line = cpuinfo.substr(0, newline);
        cpuinfo = newline == std::string_view::npos ? std::string_view() : cpuinfo.substr(newline + 1);
        const auto colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        const auto key = trimmed(line.substr(0, colon));
        const auto value = trimmed(line.substr(colon + 1));
        if (value.empty()) continue;
        if (key == "model name") return repairedUTF8(value);
        if (key == "CPU implementer") {
            implementer = value;
        } else if (key == "CPU part") {
            if (const auto name = armCoreName(implementer, value)) {
                bool seen = false;
                for (const auto& known : armNames) seen = seen || known == *name;
                if (!seen) armNames.push_back(*name);
            }
        } else if (!fallback && (key == "Processor" || key == "cpu model" || key == "cpu" || key == "uarch")) {
            fallback = repairedUTF8(value);
        }
    }
    if (!armNames.empty()) {
        std::string joined;
        for (const auto& name : armNames) joined += (joined.empty() ? "" : ", ") + name;
        return joined;
    }
    return fallback;
}

}  // namespace

std::optional<std::string> sysctlStringAt(const fs::path& root, const std::string& name) {
    // Placeholders are dropped here as in the hardware section, so the fall-back
    // to this value never brings back what the section left out.
    if (name == "hw.model") return linux_source::firmwareModelName(root);
    if (name == "machdep.cpu.brand_string") {
        const auto cpuinfo = readAttribute(root / "proc/cpuinfo");
        return cpuinfo ? cpuBrandFromCPUInfo(*cpuinfo) : std::nullopt;
    }
    if (name == "hw.logicalcpu" || name == "hw.physicalcpu") {
        const auto count = sysctlIntAt(root, name);
        return count ? std::optional<std::string>(std::to_string(*count)) : std::nullopt;
    }
    // Any other name is a kernel parameter file. A name that is no dotted
    // path (empty parts, slashes, NUL) could leave /proc/sys: it has no value.
    if (name.empty() || name.front() == '.' || name.back() == '.' || name.find("..") != std::string::npos ||
        name.find_first_of(std::string_view("/\0", 2)) != std::string::npos)
        return std::nullopt;
    std::string relative = name;
    for (char& character : relative)
        if (character == '.') character = '/';
    const auto raw = readAttribute(root / "proc/sys" / relative);
    if (!raw || raw->empty()) return std::nullopt;
    std::string_view text(*raw);
    text = text.substr(0, text.find('\0'));
    while (!text.empty() && text.back() == '\n') text.remove_suffix(1);
    return repairedUTF8(text);
}

std::optional<std::int64_t> sysctlIntAt(const fs::path& root, const std::string& name) {
    if (name == "hw.logicalcpu") {
        const auto cpus = onlineCPUs(root);
        return cpus ? std::optional<std::int64_t>(static_cast<std::int64_t>(cpus->size())) : std::nullopt;
    }
    if (name == "hw.physicalcpu") return physicalCores(root);
    const auto text = sysctlStringAt(root, name);
    if (!text) return std::nullopt;
    const auto value = parsedNumber<std::int32_t>(*text);
    return value ? std::optional<std::int64_t>(*value) : std::nullopt;
}

std::optional<std::string> sysctlString(const std::string& name) {
    return sysctlStringAt("/", name);
}

std::optional<std::int64_t> sysctlInt(const std::string& name) {
    return sysctlIntAt("/", name);
}

}  // namespace nvx
