#include "files.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "errors.h"

namespace nvx {

std::string systemErrorText(int errorNumber) {
    switch (errorNumber) {
        case ENOENT:
            return "нет такого файла или папки";
        case EACCES:
        case EPERM:
            return "нет доступа";
        case EEXIST:
            return "файл уже существует";
        case ENOTDIR:
            return "часть пути не является папкой";
        case EISDIR:
            return "это папка, а не файл";
        case ENOSPC:
            return "на диске нет места";
        case EROFS:
            return "том доступен только для чтения";
        case EDQUOT:
            return "превышена дисковая квота";
        case ENAMETOOLONG:
            return "слишком длинное имя файла";
        case EIO:
            return "ошибка ввода-вывода";
        case EINVAL:
            return "недопустимый аргумент";
        case ENOEXEC:
            return "файл не является исполняемой программой";
        case ENOMEM:
            return "недостаточно памяти";
        case EMFILE:
        case ENFILE:
            return "открыто слишком много файлов";
        case ELOOP:
            return "слишком много символических ссылок подряд";
        case ENXIO:
            return "устройство недоступно";
        case EPIPE:
            return "читающая сторона канала закрыта";
        case EFBIG:
            return "файл слишком велик";
        default:
            return std::string("системная ошибка ") + std::to_string(errorNumber) + " (" + std::strerror(errorNumber) +
                   ")";
    }
}

namespace {

constexpr const char* readAction = "прочитать файл";
constexpr const char* writeAction = "записать файл";
// Temporary names end in this marker and mkostemp's six characters.
constexpr std::string_view temporaryMarker = ".nvx-";
constexpr std::size_t temporaryRandomLength = 6;
// A temporary is taken for abandoned only when it is at least this old: its
// writer locks it right after creating it, and this covers that moment.
constexpr std::time_t staleAfterSeconds = 2;

[[noreturn]] void throwRefusal(const char* action, const std::filesystem::path& path, const std::string& reason) {
    throw FileSystemError(std::string("Не удалось ") + action + " «" + path.string() + "»: " + reason + ".");
}

[[noreturn]] void throwFileError(const char* action, const std::filesystem::path& path, int errorNumber) {
    throwRefusal(action, path, systemErrorText(errorNumber));
}

// Why a path that is not a regular file cannot be read or replaced.
std::string nonRegularKind(mode_t mode) {
    if (S_ISDIR(mode)) return "это папка, а не файл";
    if (S_ISBLK(mode)) return "это блочное устройство, а не файл";
    if (S_ISSOCK(mode)) return "это сокет, а не файл";
    if (S_ISCHR(mode)) return "это устройство, а не файл";
    if (S_ISFIFO(mode)) return "это именованный канал, а не файл";
    return "это не обычный файл";
}

std::string byteSizeText(std::size_t bytes) {
    constexpr std::size_t mebibyte = 1024 * 1024;
    if (bytes >= mebibyte && bytes % mebibyte == 0) return std::to_string(bytes / mebibyte) + " МиБ";
    return std::to_string(bytes) + " байт";
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// Writes all of `bytes`; the errno of the failing write, or 0.
int writeAll(int fd, std::string_view bytes) {
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t count = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (count < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (count == 0) return EIO;
        written += static_cast<std::size_t>(count);
    }
    return 0;
}

// The temporary file of one atomic replacement: removed on every way out
// unless it has been put in place.
class TemporaryFile {
public:
    TemporaryFile(int fd, std::filesystem::path path) : fd_(fd), path_(std::move(path)) {}
    ~TemporaryFile() {
        if (!placed_) ::unlink(path_.c_str());
        ::close(fd_);  // also releases the lock that marks the file as in use
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    int fd() const { return fd_; }
    const std::filesystem::path& path() const { return path_; }
    void placed() { placed_ = true; }

private:
    int fd_;
    std::filesystem::path path_;
    bool placed_ = false;
};

// Replaces the regular file `target` (or creates it when `existing` is null).
// Messages name `shownPath`, the path the caller gave.
void replaceRegularFile(const std::filesystem::path& target, std::string_view bytes, const struct stat* existing,
                        const std::filesystem::path& shownPath) {
    const auto folder = target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    // Appended piece by piece: GCC 12 at -O3 warns wrongly (-Wrestrict) about
    // the "." + std::string form.
    std::string name(".");
    name += target.filename().string();
    name += temporaryMarker;
    name.append(temporaryRandomLength, 'X');
    std::string pattern = (folder / name).string();
    std::vector<char> temporaryName(pattern.begin(), pattern.end());
    temporaryName.push_back('\0');
    const int fd = ::mkostemp(temporaryName.data(), O_CLOEXEC);
    if (fd < 0) throwFileError(writeAction, shownPath, errno);
    TemporaryFile temporary(fd, std::filesystem::path(temporaryName.data()));
    // Held until the file is in place: a start-up sweep leaves locked ones alone.
    ::flock(temporary.fd(), LOCK_EX);

    if (existing && (existing->st_uid != ::geteuid() || existing->st_gid != ::getegid())) {
        // Only a privileged process may give the file away; the others keep their own.
        [[maybe_unused]] const int ignored = ::fchown(temporary.fd(), existing->st_uid, existing->st_gid);
    }
    // mkostemp creates 0600; a report is an ordinary document unless its owner
    // made the file it replaces private.
    const mode_t mode = existing ? (existing->st_mode & 0777) : 0644;
    if (::fchmod(temporary.fd(), mode) != 0) throwFileError(writeAction, shownPath, errno);

    if (const int failure = writeAll(temporary.fd(), bytes)) throwFileError(writeAction, shownPath, failure);
    if (::fsync(temporary.fd()) != 0) throwFileError(writeAction, shownPath, errno);
    if (::rename(temporary.path().c_str(), target.c_str()) != 0) throwFileError(writeAction, shownPath, errno);
    temporary.placed();
    const FileDescriptor directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() >= 0) ::fsync(directory.get());
}

// Writes into a device or a FIFO as it is. Opening does not wait for a
// reader: a FIFO nobody reads is refused instead of hanging the caller.
void writeThrough(const std::filesystem::path& path, std::string_view bytes) {
    const FileDescriptor file(::open(path.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (file.get() < 0) {
        if (errno == ENXIO) throwRefusal(writeAction, path, "из этого канала никто не читает");
        throwFileError(writeAction, path, errno);
    }
    struct stat opened {};
    if (::fstat(file.get(), &opened) != 0) throwFileError(writeAction, path, errno);
    // Changed since it was looked at: a regular file must never be written
    // into without the atomic replacement.
    if (!S_ISCHR(opened.st_mode) && !S_ISFIFO(opened.st_mode))
        throwRefusal(writeAction, path, "файл изменился во время записи");
    const int flags = ::fcntl(file.get(), F_GETFL);
    if (flags >= 0) ::fcntl(file.get(), F_SETFL, flags & ~O_NONBLOCK);
    // A pipe whose reader has gone answers EPIPE: an error here, as long as
    // the program ignores SIGPIPE, which depotrium does.
    if (const int failure = writeAll(file.get(), bytes)) throwFileError(writeAction, path, failure);
}

// The real path of a symbolic link's final target.
std::filesystem::path linkTarget(const std::filesystem::path& link) {
    const std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(link.c_str(), nullptr), &std::free);
    if (!resolved) throwFileError(writeAction, link, errno);
    return std::filesystem::path(resolved.get());
}

bool isTemporaryName(std::string_view name) {
    const std::size_t suffixLength = temporaryMarker.size() + temporaryRandomLength;
    // "." + at least one character of the target's name + the suffix.
    if (name.size() < 2 + suffixLength || name.front() != '.') return false;
    const std::string_view suffix = name.substr(name.size() - suffixLength);
    if (!suffix.starts_with(temporaryMarker)) return false;
    for (const char c : suffix.substr(temporaryMarker.size()))
        if (!std::isalnum(static_cast<unsigned char>(c))) return false;
    return true;
}

}  // namespace

std::string readWholeFile(const std::filesystem::path& path, std::size_t maximumBytes) {
    // Non-blocking, so that a FIFO or a device line is never waited on before
    // it is looked at and refused.
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (file.get() < 0) throwFileError(readAction, path, errno);
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) throwFileError(readAction, path, errno);
    if (!S_ISREG(info.st_mode)) throwRefusal(readAction, path, nonRegularKind(info.st_mode));
    const auto tooLarge = [&] { throwRefusal(readAction, path, "файл больше " + byteSizeText(maximumBytes)); };
    if (static_cast<std::uintmax_t>(info.st_size) > maximumBytes) tooLarge();

    // Read straight into the result, sized by the file (plus one byte, to see
    // its end at once); it grows only when the file grows while it is read,
    // or says size 0 although it has content, as kernel files do.
    std::string bytes(std::max<std::size_t>(static_cast<std::size_t>(info.st_size) + 1, 4096), '\0');
    std::size_t filled = 0;
    for (;;) {
        if (filled == bytes.size()) bytes.resize(bytes.size() * 2);
        const ssize_t count = ::read(file.get(), bytes.data() + filled, bytes.size() - filled);
        if (count < 0) {
            if (errno == EINTR) continue;
            throwFileError(readAction, path, errno);
        }
        if (count == 0) break;
        filled += static_cast<std::size_t>(count);
        if (filled > maximumBytes) tooLarge();
    }
    bytes.resize(filled);
    return bytes;
}

void writeFileAtomically(const std::filesystem::path& path, std::string_view bytes) {
    struct stat target {};
    if (::stat(path.c_str(), &target) == 0) {
        if (S_ISREG(target.st_mode)) {
            struct stat link {};
            const bool isLink = ::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode);
            replaceRegularFile(isLink ? linkTarget(path) : path, bytes, &target, path);
            return;
        }
        if (S_ISCHR(target.st_mode) || S_ISFIFO(target.st_mode)) {
            writeThrough(path, bytes);
            return;
        }
        throwRefusal(writeAction, path, nonRegularKind(target.st_mode));
    }
    if (errno != ENOENT) throwFileError(writeAction, path, errno);
    struct stat link {};
    if (::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode))
        throwRefusal(writeAction, path, "символическая ссылка указывает на несуществующий файл");
    replaceRegularFile(path, bytes, nullptr, path);
}

std::size_t removeStaleTemporaries(const std::filesystem::path& folder) {
    const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0) return 0;
    DIR* listing = ::fdopendir(folderFd);
    if (!listing) {
        ::close(folderFd);
        return 0;
    }
    const std::time_t now = std::time(nullptr);
    std::size_t removed = 0;
    while (const dirent* entry = ::readdir(listing)) {
        if (!isTemporaryName(entry->d_name)) continue;
        const FileDescriptor file(
            ::openat(folderFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        if (file.get() < 0) continue;
        struct stat info {};
        if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
        if (now - info.st_mtime < staleAfterSeconds) continue;
        // A writer that is still alive holds the lock; a killed one released it.
        if (::flock(file.get(), LOCK_EX | LOCK_NB) != 0) continue;
        if (::unlinkat(folderFd, entry->d_name, 0) == 0) ++removed;
    }
    ::closedir(listing);  // closes folderFd too
    return removed;
}

}  // namespace nvx
