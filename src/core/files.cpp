#include "files.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "errors.h"

namespace nvx {

std::string systemErrorText(int errorNumber) {
    switch (errorNumber) {
    case ENOENT: return "нет такого файла или папки";
    case EACCES:
    case EPERM: return "нет доступа";
    case EEXIST: return "файл уже существует";
    case ENOTDIR: return "часть пути не является папкой";
    case EISDIR: return "это папка, а не файл";
    case ENOSPC: return "на диске нет места";
    case EROFS: return "том доступен только для чтения";
    case EDQUOT: return "превышена дисковая квота";
    case ENAMETOOLONG: return "слишком длинное имя файла";
    case EIO: return "ошибка ввода-вывода";
    case EINVAL: return "недопустимый аргумент";
    case ENOEXEC: return "файл не является исполняемой программой";
    case ENOMEM: return "недостаточно памяти";
    case EMFILE:
    case ENFILE: return "открыто слишком много файлов";
    default: return std::string("системная ошибка ") + std::to_string(errorNumber) + " (" + std::strerror(errorNumber) + ")";
    }
}

namespace {

[[noreturn]] void throwFileError(const char* action, const std::filesystem::path& path, int errorNumber) {
    throw FileSystemError(std::string("Не удалось ") + action + " «" + path.string() + "»: " +
                          systemErrorText(errorNumber) + ".");
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() { if (fd_ >= 0) ::close(fd_); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    int release() { int fd = fd_; fd_ = -1; return fd; }

private:
    int fd_;
};

}  // namespace

std::string readWholeFile(const std::filesystem::path& path) {
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) throwFileError("прочитать файл", path, errno);
    struct stat info {};
    if (::fstat(file.get(), &info) == 0 && S_ISDIR(info.st_mode)) throwFileError("прочитать файл", path, EISDIR);
    std::string bytes;
    if (info.st_size > 0) bytes.reserve(static_cast<std::size_t>(info.st_size));
    std::vector<char> buffer(1 << 16);
    for (;;) {
        ssize_t count = ::read(file.get(), buffer.data(), buffer.size());
        if (count < 0) {
            if (errno == EINTR) continue;
            throwFileError("прочитать файл", path, errno);
        }
        if (count == 0) break;
        bytes.append(buffer.data(), static_cast<std::size_t>(count));
    }
    return bytes;
}

void writeFileAtomically(const std::filesystem::path& path, std::string_view bytes) {
    const auto folder = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
    // Appended piece by piece: GCC 12 at -O3 warns wrongly (-Wrestrict) about
    // the "." + std::string form.
    std::string name(".");
    name += path.filename().string();
    name += ".nvx-XXXXXX";
    std::string pattern = (folder / name).string();
    std::vector<char> temporary(pattern.begin(), pattern.end());
    temporary.push_back('\0');
    FileDescriptor file(::mkostemp(temporary.data(), O_CLOEXEC));
    if (file.get() < 0) throwFileError("записать файл", path, errno);
    const std::filesystem::path temporaryPath(temporary.data());

    auto fail = [&](int errorNumber) {
        ::unlink(temporaryPath.c_str());
        throwFileError("записать файл", path, errorNumber);
    };
    // mkostemp creates 0600; a report is an ordinary document.
    ::fchmod(file.get(), 0644);
    std::size_t written = 0;
    while (written < bytes.size()) {
        ssize_t count = ::write(file.get(), bytes.data() + written, bytes.size() - written);
        if (count < 0) {
            if (errno == EINTR) continue;
            fail(errno);
        }
        if (count == 0) fail(EIO);
        written += static_cast<std::size_t>(count);
    }
    if (::fsync(file.get()) != 0) fail(errno);
    if (::close(file.release()) != 0) fail(errno);
    if (::rename(temporaryPath.c_str(), path.c_str()) != 0) fail(errno);
    FileDescriptor directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() >= 0) ::fsync(directory.get());
}

}  // namespace nvx
