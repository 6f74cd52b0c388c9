#include "inventory/linux_source/id_database.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <iterator>
#include <string_view>
#include <vector>

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

// The databases are one or two megabytes; anything far larger is not one.
constexpr off_t maximumDatabaseBytes = 64 * 1024 * 1024;
// Read in pieces of this size: a small buffer of its own, instead of a copy of
// the whole file that would be zeroed, faulted in and copied at every start.
constexpr std::size_t readPieceBytes = 64 * 1024;

// Takes the database line by line and keeps only the names asked for; the
// lines of vendors nobody asked for are passed over without being looked at.
class IdDatabaseReader {
public:
    explicit IdDatabaseReader(const IdQuery& query) : query_(query) {}

    void line(std::string_view view) {
        if (view.empty() || view.front() == '#') return;
        if (view.front() != '\t') {
            topLevelLine(view);
        } else if (section_ == Section::vendor && vendorWanted_) {
            deviceLine(view);
        } else if (section_ == Section::deviceClass && view.size() > 1 && view[1] != '\t') {
            const auto subclass = hexField(view.substr(1), 2);
            if (subclass && isSeparator(view, 3))
                names_.subclasses[static_cast<std::uint16_t>(baseClass_ << 8 | *subclass)] = nameAfter(view, 3);
        }
    }

    // Every line of `text`, the last one also without a line break.
    void lines(std::string_view text) {
        while (!text.empty()) {
            const std::size_t end = text.find('\n');
            line(text.substr(0, end));
            text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        }
    }

    IdNames names() && { return std::move(names_); }

private:
    enum class Section { none, vendor, deviceClass, other };

    void topLevelLine(std::string_view view) {
        if (view.starts_with("C ")) {
            const auto code = hexField(view.substr(2), 2);
            section_ = code && isSeparator(view, 4) ? Section::deviceClass : Section::other;
            if (code) {
                baseClass_ = static_cast<std::uint8_t>(*code);
                names_.classes[baseClass_] = nameAfter(view, 4);
            }
            return;
        }
        const auto id = hexField(view, 4);
        if (!id || !isSeparator(view, 4)) {
            section_ = Section::other;  // usb.ids: language, HID and other tables
            return;
        }
        section_ = Section::vendor;
        vendor_ = *id;
        vendorWanted_ = query_.vendors.contains(vendor_);
        if (vendorWanted_) names_.vendors[vendor_] = nameAfter(view, 4);
    }

    void deviceLine(std::string_view view) {
        if (view.size() > 1 && view[1] != '\t') {
            const auto id = hexField(view.substr(1), 4);
            if (!id || !isSeparator(view, 5)) return;
            device_ = *id;
            const std::uint32_t key = static_cast<std::uint32_t>(vendor_) << 16 | device_;
            deviceWanted_ = query_.devices.contains(key);
            if (deviceWanted_) names_.devices[key] = nameAfter(view, 5);
        } else if (deviceWanted_ && view.size() > 2) {
            const auto subVendor = hexField(view.substr(2), 4);
            const auto subDevice = isSeparator(view, 6) ? hexField(view.substr(7), 4) : std::nullopt;
            if (!subVendor || !subDevice || !isSeparator(view, 11)) return;
            const std::uint64_t key = static_cast<std::uint64_t>(vendor_) << 48 |
                                      static_cast<std::uint64_t>(device_) << 32 |
                                      static_cast<std::uint64_t>(*subVendor) << 16 | *subDevice;
            if (query_.subsystems.contains(key)) names_.subsystems[key] = nameAfter(view, 11);
        }
    }

    const IdQuery& query_;
    IdNames names_;
    Section section_ = Section::none;
    std::uint16_t vendor_ = 0;
    std::uint16_t device_ = 0;
    std::uint8_t baseClass_ = 0;
    bool vendorWanted_ = false;
    bool deviceWanted_ = false;
};

// Reads the open database piece by piece; a line cut by a piece's end is
// carried over to the next one. False when the file cannot be read.
bool readDatabase(int fd, IdDatabaseReader& reader) {
    std::vector<char> piece(readPieceBytes);
    std::string carried;
    for (;;) {
        const ssize_t count = ::read(fd, piece.data(), piece.size());
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) return false;
        if (count == 0) break;
        std::string_view text(piece.data(), static_cast<std::size_t>(count));
        if (!carried.empty()) {
            const std::size_t end = text.find('\n');
            carried.append(text.substr(0, end));
            if (end == std::string_view::npos) continue;
            reader.line(carried);
            carried.clear();
            text.remove_prefix(end + 1);
        }
        const std::size_t last = text.rfind('\n');
        if (last == std::string_view::npos) {
            carried.assign(text);
            continue;
        }
        reader.lines(text.substr(0, last));
        carried.assign(text.substr(last + 1));
    }
    reader.line(carried);
    return true;
}

}  // namespace

IdNames parseIdDatabase(std::istream& text, const IdQuery& query) {
    const std::string whole((std::istreambuf_iterator<char>(text)), std::istreambuf_iterator<char>());
    return parseIdDatabase(std::string_view(whole), query);
}

IdNames parseIdDatabase(std::string_view text, const IdQuery& query) {
    IdDatabaseReader reader(query);
    reader.lines(text);
    return std::move(reader).names();
}

IdNames lookUpIdDatabase(const std::vector<std::filesystem::path>& candidates, const IdQuery& query) {
    for (const auto& candidate : candidates) {
        const int fd = ::open(candidate.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        if (fd < 0) continue;
        struct stat info {};
        IdDatabaseReader reader(query);
        const bool read = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= maximumDatabaseBytes &&
                          readDatabase(fd, reader);
        ::close(fd);
        if (read) return std::move(reader).names();
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
