#include "inventory/linux_source/sysfs.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <string>
#include <system_error>

#include "inventory/utf8_text.h"

namespace nvx::linux_source {

namespace {

// Attribute files are a page at most; a bound keeps a strange file (a
// character device behind a link) from being read without end.
constexpr std::size_t maximumFileBytes = 4 * 1024 * 1024;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\0' || c == '\v' || c == '\f'; }

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

}  // namespace

std::optional<std::string> readText(const fs::path& file) {
    // Plain system calls: an inventory reads a few hundred of these files, and
    // a stream's set-up for each costs more than the read itself. Never blocks,
    // whatever the path names.
    const int descriptor = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (descriptor < 0) return std::nullopt;
    std::optional<std::string> text(std::in_place);
    char buffer[4096];
    for (;;) {
        const ssize_t count = ::read(descriptor, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0 || text->size() + static_cast<std::size_t>(count) > maximumFileBytes) {
            text.reset();
            break;
        }
        if (count == 0) break;
        text->append(buffer, static_cast<std::size_t>(count));
    }
    ::close(descriptor);
    return text;
}

std::optional<std::string> readAttribute(const fs::path& file) {
    const auto text = readText(file);
    if (!text) return std::nullopt;
    const std::string_view value = trimmed(*text);
    if (value.empty()) return std::nullopt;
    return repairedUTF8(value);
}

std::optional<std::uint64_t> parseUnsigned(std::string_view text, int base) {
    text = trimmed(text);
    if (base == 16 && (text.starts_with("0x") || text.starts_with("0X"))) text.remove_prefix(2);
    if (text.empty()) return std::nullopt;
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<std::uint64_t> readUnsigned(const fs::path& file, int base) {
    const auto text = readAttribute(file);
    if (!text) return std::nullopt;
    return parseUnsigned(*text, base);
}

bool naturalLess(std::string_view left, std::string_view right) {
    std::size_t i = 0;
    std::size_t j = 0;
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    while (i < left.size() && j < right.size()) {
        if (isDigit(left[i]) && isDigit(right[j])) {
            std::size_t iEnd = i;
            std::size_t jEnd = j;
            while (iEnd < left.size() && isDigit(left[iEnd])) ++iEnd;
            while (jEnd < right.size() && isDigit(right[jEnd])) ++jEnd;
            std::string_view a = left.substr(i, iEnd - i);
            std::string_view b = right.substr(j, jEnd - j);
            while (a.size() > 1 && a.front() == '0') a.remove_prefix(1);
            while (b.size() > 1 && b.front() == '0') b.remove_prefix(1);
            if (a.size() != b.size()) return a.size() < b.size();
            if (a != b) return a < b;
            i = iEnd;
            j = jEnd;
        } else {
            if (left[i] != right[j]) return left[i] < right[j];
            ++i;
            ++j;
        }
    }
    return left.size() - i < right.size() - j;
}

std::vector<std::string> listFolder(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) { return naturalLess(a, b); });
    return names;
}

bool pathExists(const fs::path& path) {
    std::error_code error;
    return fs::exists(path, error);
}

std::optional<std::string> linkName(const fs::path& link) {
    std::error_code error;
    const fs::path target = fs::read_symlink(link, error);
    if (error || target.empty()) return std::nullopt;
    return target.filename().string();
}

fs::path resolved(const fs::path& path) {
#if defined(O_PATH)
    // The kernel's own answer for an existing path: three calls, where
    // resolving it component by component asks once per folder on the way.
    const int descriptor = ::open(path.c_str(), O_PATH | O_CLOEXEC);
    if (descriptor >= 0) {
        char target[4096];
        const std::string self = "/proc/self/fd/" + std::to_string(descriptor);
        const ssize_t length = ::readlink(self.c_str(), target, sizeof target);
        ::close(descriptor);
        if (length > 0 && static_cast<std::size_t>(length) < sizeof target && target[0] == '/')
            return fs::path(std::string(target, static_cast<std::size_t>(length)));
    }
#endif
    std::error_code error;
    fs::path result = fs::weakly_canonical(path, error);
    return error ? path : result;
}

std::map<std::string, std::string> parseKeyValueLines(std::string_view text) {
    std::map<std::string, std::string> values;
    while (!text.empty()) {
        const std::size_t lineEnd = text.find('\n');
        std::string_view line = trimmed(text.substr(0, lineEnd));
        text = lineEnd == std::string_view::npos ? std::string_view() : text.substr(lineEnd + 1);
        const std::size_t equals = line.find('=');
        if (line.empty() || line.front() == '#' || equals == std::string_view::npos || equals == 0) continue;
        std::string_view value = trimmed(line.substr(equals + 1));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        values[std::string(trimmed(line.substr(0, equals)))] = repairedUTF8(value);
    }
    return values;
}

std::string collapsedBlanks(std::string_view text) {
    std::string result;
    bool pendingBlank = false;
    for (const char c : text) {
        if (isBlank(c)) {
            pendingBlank = !result.empty();
        } else {
            if (pendingBlank) result += ' ';
            pendingBlank = false;
            result += c;
        }
    }
    return result;
}

}  // namespace nvx::linux_source
