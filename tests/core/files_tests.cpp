#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <optional>
#include <sstream>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "core/errors.h"
#include "core/files.h"

namespace nvx {
namespace {

namespace fs = std::filesystem;

class TemporaryFolder {
public:
    TemporaryFolder() {
        std::string pattern = (fs::temp_directory_path() / "nvx-files-test-XXXXXX").string();
        if (::mkdtemp(pattern.data())) path_ = pattern;
    }
    ~TemporaryFolder() {
        std::error_code ignored;
        if (!path_.empty()) fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }

    // Every name in the folder, hidden ones included, in sorted order.
    std::vector<std::string> names(const fs::path& subfolder = {}) const {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(path_ / subfolder)) found.push_back(entry.path().filename());
        std::sort(found.begin(), found.end());
        return found;
    }

private:
    fs::path path_;
};

std::string contentOf(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

mode_t permissions(const fs::path& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_mode & 0777;
}

std::string writeFailure(const fs::path& path, std::string_view bytes) {
    try {
        writeFileAtomically(path, bytes);
    } catch (const FileSystemError& error) {
        return error.what();
    }
    return "no error";
}

std::string readFailure(const fs::path& path, std::size_t limit = 1 << 20) {
    try {
        readWholeFile(path, limit);
    } catch (const FileSystemError& error) {
        return error.what();
    }
    return "no error";
}

// A device node of our own in the test folder, with the numbers of a standard
// one; absent where the test may not make device nodes.
std::optional<fs::path> deviceNode(const fs::path& folder, const char* name, unsigned major, unsigned minor) {
    const fs::path path = folder / name;
    if (::mknod(path.c_str(), S_IFCHR | 0666, makedev(major, minor)) != 0) return std::nullopt;
    return path;
}

TEST(AtomicWrite, ReplacesTheFileAndLeavesNoTemporaryBehind) {
    TemporaryFolder folder;
    const auto target = folder.path() / "report.json";
    writeFileAtomically(target, "first");
    writeFileAtomically(target, "second, longer");
    EXPECT_EQ(readWholeFile(target), "second, longer");
    EXPECT_EQ(folder.names(), std::vector<std::string>{"report.json"});
}

// Drafts and exports are ordinary documents that others may read, unless the
// user made the file they replace private.
TEST(AtomicWrite, NewFilesAreWorldReadableReplacedOnesKeepTheirPermissions) {
    TemporaryFolder folder;
    const auto target = folder.path() / "report.json";
    const mode_t previousMask = ::umask(077);
    writeFileAtomically(target, "new");
    ::umask(previousMask);
    EXPECT_EQ(permissions(target), 0644u);

    ::chmod(target.c_str(), 0600);
    writeFileAtomically(target, "private");
    EXPECT_EQ(permissions(target), 0600u);
    EXPECT_EQ(contentOf(target), "private");
}

TEST(AtomicWrite, FollowsSymbolicLinksAndReplacesTheTargetInItsOwnFolder) {
    TemporaryFolder folder;
    fs::create_directories(folder.path() / "reports");
    fs::create_directories(folder.path() / "links");
    const auto target = folder.path() / "reports" / "latest.json";
    std::ofstream(target) << "old";
    ::chmod(target.c_str(), 0640);
    fs::create_symlink("../reports/latest.json", folder.path() / "links" / "report.json");
    fs::create_symlink("report.json", folder.path() / "links" / "again.json");  // a link to a link

    writeFileAtomically(folder.path() / "links" / "again.json", "new");

    EXPECT_TRUE(fs::is_symlink(folder.path() / "links" / "report.json"));
    EXPECT_TRUE(fs::is_symlink(folder.path() / "links" / "again.json"));
    EXPECT_EQ(contentOf(target), "new");
    EXPECT_EQ(permissions(target), 0640u);
    EXPECT_EQ(folder.names("links"), (std::vector<std::string>{"again.json", "report.json"}));
    EXPECT_EQ(folder.names("reports"), std::vector<std::string>{"latest.json"});
}

TEST(AtomicWrite, DanglingLinkIsRefusedAndStaysALink) {
    TemporaryFolder folder;
    const auto link = folder.path() / "report.json";
    fs::create_symlink("missing/latest.json", link);
    EXPECT_EQ(writeFailure(link, "x"), "Не удалось записать файл «" + link.string() +
                                           "»: символическая ссылка указывает на несуществующий файл.");
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(folder.names(), std::vector<std::string>{"report.json"});
}

// A FIFO (and /dev/stdout when it is a pipe) receives the bytes as they are.
TEST(AtomicWrite, WritesThroughAFIFOWithAReaderAndRefusesOneWithout) {
    TemporaryFolder folder;
    const auto fifo = folder.path() / "channel";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);

    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(writeFailure(fifo, "x"),
              "Не удалось записать файл «" + fifo.string() + "»: из этого канала никто не читает.");
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5)) << "never waits for a reader";

    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    auto received = std::async(std::launch::async, [reader] {
        std::string bytes;
        char buffer[4096];
        for (int idle = 0; idle < 500 && bytes.size() < 100000;) {
            const ssize_t count = ::read(reader, buffer, sizeof buffer);
            if (count > 0) {
                bytes.append(buffer, static_cast<std::size_t>(count));
            } else {
                ++idle;
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
        return bytes;
    });
    const std::string bytes(100000, 'r');  // more than a pipe holds at once
    writeFileAtomically(fifo, bytes);
    EXPECT_EQ(received.get(), bytes);
    ::close(reader);
    EXPECT_TRUE(fs::is_fifo(fifo)) << "the FIFO must not be replaced by a file";
    EXPECT_EQ(folder.names(), std::vector<std::string>{"channel"});
}

// /dev/full and /dev/null, as nodes of our own: a full device is an error, and
// no device is ever replaced by a regular file.
TEST(AtomicWrite, WritesThroughCharacterDevicesAndReportsAFullOne) {
    TemporaryFolder folder;
    const auto full = deviceNode(folder.path(), "full", 1, 7);
    const auto null = deviceNode(folder.path(), "null", 1, 3);
    if (!full || !null) GTEST_SKIP() << "device nodes cannot be made here";

    EXPECT_EQ(writeFailure(*full, "report"), "Не удалось записать файл «" + full->string() + "»: на диске нет места.");
    writeFileAtomically(*null, "report");
    for (const auto& device : {*full, *null}) EXPECT_TRUE(fs::is_character_file(device)) << device;
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"full", "null"}));
}

TEST(AtomicWrite, RefusesFoldersAndSockets) {
    TemporaryFolder folder;
    fs::create_directories(folder.path() / "sub");
    EXPECT_EQ(writeFailure(folder.path() / "sub", "x"),
              "Не удалось записать файл «" + (folder.path() / "sub").string() + "»: это папка, а не файл.");

    const auto socketPath = folder.path() / "socket";
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(writeFailure(socketPath, "x"),
              "Не удалось записать файл «" + socketPath.string() + "»: это сокет, а не файл.");
    EXPECT_TRUE(fs::is_socket(socketPath));
    ::close(listener);
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"socket", "sub"}));
}

TEST(AtomicWrite, MissingFolderIsAFileSystemErrorNamingThePath) {
    TemporaryFolder folder;
    const auto target = folder.path() / "missing" / "report.json";
    EXPECT_EQ(writeFailure(target, "x"),
              "Не удалось записать файл «" + target.string() + "»: нет такого файла или папки.");
}

TEST(ReadWholeFile, ReadsBinaryBytesAndRefusesFolders) {
    TemporaryFolder folder;
    const auto target = folder.path() / "bytes";
    std::string bytes(200000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
    std::ofstream(target, std::ios::binary) << bytes;
    EXPECT_EQ(readWholeFile(target), bytes);
    EXPECT_EQ(readFailure(folder.path()),
              "Не удалось прочитать файл «" + folder.path().string() + "»: это папка, а не файл.");
    EXPECT_THROW(readWholeFile(""), FileSystemError);
}

// A device would be read without end and a FIFO would wait for a writer
// forever: both are refused before a byte is read.
TEST(ReadWholeFile, RefusesDevicesAndFIFOsWithoutWaiting) {
    TemporaryFolder folder;
    const auto fifo = folder.path() / "channel";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto failure = std::async(std::launch::async, [&] { return readFailure(fifo); });
    if (failure.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        ::close(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK));  // lets a blocked reader go
        FAIL() << "reading a FIFO waited for a writer";
    }
    EXPECT_EQ(failure.get(), "Не удалось прочитать файл «" + fifo.string() + "»: это именованный канал, а не файл.");
    EXPECT_EQ(readFailure("/dev/zero"), "Не удалось прочитать файл «/dev/zero»: это устройство, а не файл.");
}

TEST(ReadWholeFile, RefusesFilesLargerThanTheLimit) {
    TemporaryFolder folder;
    const auto target = folder.path() / "large.json";
    std::ofstream(target) << "";
    fs::resize_file(target, (1 << 20) + 1);
    EXPECT_EQ(readFailure(target), "Не удалось прочитать файл «" + target.string() + "»: файл больше 1 МиБ.");
    fs::resize_file(target, 1 << 20);
    EXPECT_EQ(readWholeFile(target, 1 << 20).size(), std::size_t{1} << 20);
}

// What a killed draft write leaves behind is swept; what a live writer is
// still writing, and everything that is not ours, stays.
TEST(StaleTemporaries, OnlyAbandonedTemporariesOfOurOwnPatternAreRemoved) {
    TemporaryFolder folder;
    const auto make = [&](const std::string& name, bool old) {
        std::ofstream(folder.path() / name) << "partial";
        if (old) fs::last_write_time(folder.path() / name, fs::file_time_type::clock::now() - std::chrono::hours(1));
    };
    make(".r1.json.nvx-Ab12Cd", true);   // abandoned: removed
    make(".r2.json.nvx-Ef34Gh", false);  // just created: its writer may be about to lock it
    make(".r3.json.nvx-Ij56Kl", true);   // locked below: a writer is at work
    make(".r4.json.nvx-Mn78", true);     // not our pattern
    make("r5.json.nvx-Op90Qr", true);    // not hidden
    make("r6.json", true);               // a draft
    fs::create_symlink("r6.json", folder.path() / ".r7.json.nvx-St12Uv");
    const int locked = ::open((folder.path() / ".r3.json.nvx-Ij56Kl").c_str(), O_RDONLY);
    ASSERT_EQ(::flock(locked, LOCK_EX), 0);

    EXPECT_EQ(removeStaleTemporaries(folder.path()), 1u);
    ::close(locked);
    EXPECT_EQ(folder.names(),
              (std::vector<std::string>{".r2.json.nvx-Ef34Gh", ".r3.json.nvx-Ij56Kl", ".r4.json.nvx-Mn78",
                                        ".r7.json.nvx-St12Uv", "r5.json.nvx-Op90Qr", "r6.json"}));
    EXPECT_EQ(removeStaleTemporaries(folder.path() / "missing"), 0u);
}

}  // namespace
}  // namespace nvx
