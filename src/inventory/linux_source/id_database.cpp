#include "inventory/linux_source/id_database.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <iterator>
#include <string_view>

#include "inventory/utf8_text.h"

namespace nvx::linux_source {

namespace {

std::optional<std::uint16_t> hexField(std::string_view text, std::size_t digits) {
    if (text.size() < digits) return std::nullopt;
    std::uint16_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + digits, value, 16);
    if (error != std::errc() || end != text.data() + digits) return std::nullopt;
    return value;
}

// The name after an identifier field: blanks skipped.
std::string nameAfter(std::string_view line, std::size_t position) {
    while (position < line.size() && (line[position] == ' ' || line[position] == '\t')) ++position;
    std::string_view name = line.substr(std::min(position, line.size()));
    while (!name.empty() && (name.back() == ' ' || name.back() == '\r')) name.remove_suffix(1);
    return repairedUTF8(name);
}

bool isSeparator(std::string_view line, std::size_t position) {
    return position < line.size() && (line[position] == ' ' || line[position] == '\t');
}

// A database file mapped read-only. Mapping instead of reading saves copying
// (and first zeroing) well over a megabyte at every start of the program; the
// pages come straight from the file cache.
class MappedFile {
public:
    explicit MappedFile(const std::filesystem::path& path) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        if (fd < 0) return;
        struct stat info {};
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= maximumDatabaseBytes) {
            size_ = static_cast<std::size_t>(info.st_size);
            opened_ = true;
            if (size_ > 0) {
                void* mapped = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd, 0);
                if (mapped == MAP_FAILED) {
                    opened_ = false;
                    size_ = 0;
                } else {
                    bytes_ = static_cast<const char*>(mapped);
                }
            }
        }
        ::close(fd);
    }
    ~MappedFile() {
        if (bytes_) ::munmap(const_cast<char*>(bytes_), size_);
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    bool opened() const { return opened_; }
    std::string_view text() const { return bytes_ ? std::string_view(bytes_, size_) : std::string_view(); }

private:
    // The databases are one or two megabytes; anything far larger is not one.
    static constexpr off_t maximumDatabaseBytes = 64 * 1024 * 1024;
    const char* bytes_ = nullptr;
    std::size_t size_ = 0;
    bool opened_ = false;
};

}  // namespace

IdNames parseIdDatabase(std::istream& text, const IdQuery& query) {
    const std::string whole((std::istreambuf_iterator<char>(text)), std::istreambuf_iterator<char>());
    return parseIdDatabase(std::string_view(whole), query);
}

// One pass over the text; the lines of vendors nobody asked for are skipped
// without being looked at.
IdNames parseIdDatabase(std::string_view text, const IdQuery& query) {
    enum class Section { none, vendor, deviceClass, other };
    IdNames names;
    Section section = Section::none;
    std::uint16_t vendor = 0;
    std::uint16_t device = 0;
    std::uint8_t baseClass = 0;
    bool vendorWanted = false;
    bool deviceWanted = false;

    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view view = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (view.empty() || view.front() == '#') continue;
        if (view.front() != '\t') {
            if (view.starts_with("C ")) {
                const auto code = hexField(view.substr(2), 2);
                section = code && isSeparator(view, 4) ? Section::deviceClass : Section::other;
                if (code) {
                    baseClass = static_cast<std::uint8_t>(*code);
                    names.classes[baseClass] = nameAfter(view, 4);
                }
                continue;
            }
            const auto id = hexField(view, 4);
            if (!id || !isSeparator(view, 4)) {
                section = Section::other;  // usb.ids: language, HID and other tables
                continue;
            }
            section = Section::vendor;
            vendor = *id;
            vendorWanted = query.vendors.contains(vendor);
            if (vendorWanted) names.vendors[vendor] = nameAfter(view, 4);
            continue;
        }
        if (section == Section::vendor && vendorWanted) {
            if (view.size() > 1 && view[1] != '\t') {
                const auto id = hexField(view.substr(1), 4);
                if (!id || !isSeparator(view, 5)) continue;
                device = *id;
                const std::uint32_t key = static_cast<std::uint32_t>(vendor) << 16 | device;
                deviceWanted = query.devices.contains(key);
                if (deviceWanted) names.devices[key] = nameAfter(view, 5);
            } else if (deviceWanted && view.size() > 2) {
                const auto subVendor = hexField(view.substr(2), 4);
                const auto subDevice = isSeparator(view, 6) ? hexField(view.substr(7), 4) : std::nullopt;
                if (!subVendor || !subDevice || !isSeparator(view, 11)) continue;
                const std::uint64_t key = static_cast<std::uint64_t>(vendor) << 48 |
                                          static_cast<std::uint64_t>(device) << 32 |
                                          static_cast<std::uint64_t>(*subVendor) << 16 | *subDevice;
                if (query.subsystems.contains(key)) names.subsystems[key] = nameAfter(view, 11);
            }
        } else if (section == Section::deviceClass && view.size() > 1 && view[1] != '\t') {
            const auto subclass = hexField(view.substr(1), 2);
            if (subclass && isSeparator(view, 3))
                names.subclasses[static_cast<std::uint16_t>(baseClass << 8 | *subclass)] = nameAfter(view, 3);
        }
    }
    return names;
}

IdNames lookUpIdDatabase(const std::vector<std::filesystem::path>& candidates, const IdQuery& query) {
    for (const auto& candidate : candidates) {
        const MappedFile database(candidate);
        if (!database.opened()) continue;
        return parseIdDatabase(database.text(), query);
    }
    return {};
}

std::optional<std::string> IdNames::vendor(std::uint16_t vendorId) const {
    const auto found = vendors.find(vendorId);
    return found == vendors.end() ? std::nullopt : std::optional(found->second);
}

std::optional<std::string> IdNames::device(std::uint16_t vendorId, std::uint16_t deviceId) const {
    const auto found = devices.find(static_cast<std::uint32_t>(vendorId) << 16 | deviceId);
    return found == devices.end() ? std::nullopt : std::optional(found->second);
}

std::optional<std::string> IdNames::subsystem(std::uint16_t vendorId, std::uint16_t deviceId,
                                              std::uint16_t subVendorId, std::uint16_t subDeviceId) const {
    const auto found = subsystems.find(static_cast<std::uint64_t>(vendorId) << 48 |
                                       static_cast<std::uint64_t>(deviceId) << 32 |
                                       static_cast<std::uint64_t>(subVendorId) << 16 | subDeviceId);
    return found == subsystems.end() ? std::nullopt : std::optional(found->second);
}

std::optional<std::string> IdNames::className(std::uint8_t baseClass, std::uint8_t subclass) const {
    if (const auto found = subclasses.find(static_cast<std::uint16_t>(baseClass << 8 | subclass));
        found != subclasses.end())
        return found->second;
    const auto found = classes.find(baseClass);
    return found == classes.end() ? std::nullopt : std::optional(found->second);
}

}  // namespace nvx::linux_source
