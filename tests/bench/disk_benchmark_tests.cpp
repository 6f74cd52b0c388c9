#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "bench/benchmark_options.h"
#include "core/errors.h"
#include "core/random_id.h"

namespace nvx {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t chunk = 8'388'608;
constexpr std::size_t mebibyte = 1'048'576;

// A private folder for the test file, so that "nothing left behind" can be
// checked by listing it.
class ScratchFolder {
public:
    explicit ScratchFolder(const fs::path& parent) {
        std::string pattern = (parent / "nvx-bench-test-XXXXXX").string();
        if (::mkdtemp(pattern.data())) path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        if (!path_.empty()) fs::remove_all(path_, ignored);
    }
    bool valid() const { return !path_.empty(); }
    const fs::path& path() const { return path_; }
    bool empty() const { return fs::is_empty(path_); }

private:
    fs::path path_;
};

// File calls that pretend to transfer everything, without touching the disk.
DiskIO pretendIO() {
    DiskIO io = DiskIO::system();
    io.write = [](int, const void*, std::size_t size) { return static_cast<ssize_t>(size); };
    io.read = [](int, void*, std::size_t size) { return static_cast<ssize_t>(size); };
    return io;
}

std::string diskFailure(const fs::path& folder, const DiskIO& io) {
    try {
        Benchmarks::diskWith(folder, io, StopToken());
    } catch (const DepotriumError& error) {
        return error.message();
    }
    return "no error";
}

class DiskBenchmark : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(scratch.valid()); }
    void TearDown() override { EXPECT_TRUE(scratch.empty()) << "the test file was left behind"; }
    ScratchFolder scratch{fs::temp_directory_path()};
};

TEST_F(DiskBenchmark, WritesAndReadsTheWholeFileUncached) {
    std::string name;
    struct stat status {};
    int openFlags = 0;
    DiskIO io = DiskIO::system();
    io.fsync = [&](int fd) {
        name = fs::read_symlink("/proc/self/fd/" + std::to_string(fd)).filename().string();
        ::fstat(fd, &status);
        openFlags = ::fcntl(fd, F_GETFL);
        return ::fsync(fd);
    };
    const auto metrics = Benchmarks::diskWith(scratch.path(), io, StopToken());

    EXPECT_EQ(name.substr(0, 9), "nvx-disk-");
    EXPECT_TRUE(isCanonicalUUID(name.substr(9)));
    EXPECT_EQ(name.size(), 45U) << name;
    for (char c : name.substr(9)) EXPECT_FALSE(c >= 'a' && c <= 'f') << "UUID must be upper case";
    EXPECT_EQ(status.st_mode & 0777, 0600U);
    EXPECT_EQ(status.st_size, 134217728);
    EXPECT_NE(openFlags & O_DIRECT, 0);

    ASSERT_EQ(metrics.size(), 2U);
    const std::map<std::string, std::string> parameters = {{"bytes", "134217728"},
                                                           {"rounds", "1"},
                                                           {"cache", "F_NOCACHE"},
                                                           {"write_sync", "fsync"},
                                                           {"target", "temporary-volume"}};
    const char* ids[] = {"disk_write", "disk_read"};
    const char* titles[] = {"Диск · запись", "Диск · чтение"};
    for (std::size_t i = 0; i < 2; ++i) {
        const Metric& metric = metrics[i];
        EXPECT_EQ(metric.id, ids[i]);
        EXPECT_EQ(metric.title, titles[i]);
        EXPECT_EQ(metric.unit, "МиБ/с");
        EXPECT_EQ(metric.status, "ok");
        EXPECT_EQ(metric.note,
                  "Один проход по временному файлу 128 МиБ на томе временной папки macOS. F_NOCACHE, запись с fsync. "
                  "Это короткий тест, не установившаяся скорость всего диска. Файл удалён после теста.");
        EXPECT_EQ(metric.parameters, parameters);
        ASSERT_TRUE(metric.value.has_value());
        EXPECT_GT(*metric.value, 0.0);
        EXPECT_EQ(metric.samples, std::vector<double>{*metric.value});
    }
    EXPECT_EQ(metrics[0].checksum, metrics[1].checksum);
    EXPECT_FALSE(metrics[0].checksum.empty());
}

// The write phase ends with the flush to the device, inside the timed span:
// a rate taken before it would show the file cache's speed.
TEST_F(DiskBenchmark, WriteTimeIncludesTheFlush) {
    DiskIO io = pretendIO();
    io.fsync = [](int) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        return 0;
    };
    const auto metrics = Benchmarks::diskWith(scratch.path(), io, StopToken());
    ASSERT_EQ(metrics.size(), 2U);
    EXPECT_LE(*metrics[0].value, 128.0 / 0.3);
    EXPECT_GT(*metrics[1].value, 128.0 / 0.3) << "reading has no flush to wait for";
}

TEST_F(DiskBenchmark, ShortWritesContinueFromWhereTheyStopped) {
    std::vector<std::size_t> offered;
    const unsigned char* chunkStart = nullptr;
    std::vector<std::size_t> offsets;
    DiskIO io = pretendIO();
    io.write = [&](int, const void* bytes, std::size_t size) {
        const auto* at = static_cast<const unsigned char*>(bytes);
        if (size == chunk) chunkStart = at;
        offered.push_back(size);
        offsets.push_back(static_cast<std::size_t>(at - chunkStart));
        return static_cast<ssize_t>(std::min(size, mebibyte));
    };
    ASSERT_EQ(Benchmarks::diskWith(scratch.path(), io, StopToken()).size(), 2U);

    ASSERT_EQ(offered.size(), 16U * 8U);  // every chunk in eight 1 MiB pieces, and counted once
    for (std::size_t call = 0; call < offered.size(); ++call) {
        EXPECT_EQ(offered[call], chunk - (call % 8) * mebibyte) << call;
        EXPECT_EQ(offsets[call], (call % 8) * mebibyte) << call;
    }
}

TEST_F(DiskBenchmark, ShortReadsGoOnToTheFullSizeAndEachCountsInTheChecksum) {
    std::uint64_t reads = 0;
    std::uint64_t expectedSink = 0;
    DiskIO io = pretendIO();
    io.read = [&](int, void* bytes, std::size_t size) {
        EXPECT_EQ(size, chunk);
        ++reads;
        const std::uint64_t head = reads * 0x0101010101ULL;
        std::memcpy(bytes, &head, sizeof head);
        expectedSink += head;
        return static_cast<ssize_t>(mebibyte);
    };
    const auto metrics = Benchmarks::diskWith(scratch.path(), io, StopToken());
    EXPECT_EQ(reads, 128U);
    ASSERT_EQ(metrics.size(), 2U);
    EXPECT_EQ(metrics[1].checksum, std::to_string(expectedSink));
}

TEST_F(DiskBenchmark, EachFailingCallGivesItsOwnMessage) {
    const std::string writeFailed = "Не удалось записать временный файл теста диска.";
    const std::string readFailed = "Временный файл прочитан не полностью.";

    DiskIO io = pretendIO();
    io.write = [](int, const void*, std::size_t) -> ssize_t {
        errno = EIO;
        return -1;
    };
    EXPECT_EQ(diskFailure(scratch.path(), io), writeFailed);

    io.write = [](int, const void*, std::size_t) -> ssize_t { return 0; };
    EXPECT_EQ(diskFailure(scratch.path(), io), writeFailed);

    int writes = 0;
    io.write = [&](int, const void*, std::size_t size) -> ssize_t {
        if (++writes < 5) return static_cast<ssize_t>(size);
        errno = EINVAL;  // not the first transfer: an ordinary write failure
        return -1;
    };
    EXPECT_EQ(diskFailure(scratch.path(), io), writeFailed);

    io = pretendIO();
    io.fsync = [](int) {
        errno = EIO;
        return -1;
    };
    EXPECT_EQ(diskFailure(scratch.path(), io), "Ошибка синхронизации временного файла.");

    io = pretendIO();
    io.lseek = [](int, off_t, int) -> off_t { return -1; };
    EXPECT_EQ(diskFailure(scratch.path(), io), "Не удалось прочитать временный файл теста.");
    io.lseek = [](int, off_t, int) -> off_t { return 4096; };
    EXPECT_EQ(diskFailure(scratch.path(), io), "Не удалось прочитать временный файл теста.");

    io = pretendIO();
    io.read = [](int, void*, std::size_t) -> ssize_t {
        errno = EIO;
        return -1;
    };
    EXPECT_EQ(diskFailure(scratch.path(), io), readFailed);

    int readCalls = 0;
    io.read = [&](int, void*, std::size_t size) -> ssize_t { return ++readCalls < 3 ? static_cast<ssize_t>(size) : 0; };
    EXPECT_EQ(diskFailure(scratch.path(), io), readFailed);
}

TEST_F(DiskBenchmark, RefusedFirstTransferMeansTheVolumeCannotBypassTheCache) {
    DiskIO io = pretendIO();
    io.write = [](int, const void*, std::size_t) -> ssize_t {
        errno = EINVAL;
        return -1;
    };
    EXPECT_EQ(diskFailure(scratch.path(), io),
              "Этот том не поддерживает отключение файлового кэша. Тест диска пропущен.");
}

TEST_F(DiskBenchmark, StoppedTokenThrowsCancellationAndRemovesTheFile) {
    int writes = 0;
    DiskIO io = pretendIO();
    io.write = [&](int, const void*, std::size_t size) {
        ++writes;
        return static_cast<ssize_t>(size);
    };
    StopToken token;
    token.cancel();
    EXPECT_THROW(Benchmarks::diskWith(scratch.path(), io, token), CancellationError);
    EXPECT_EQ(writes, 0);

    // Stopped between the phases: the first read throws.
    StopToken later;
    io.fsync = [&](int) {
        later.cancel();
        return 0;
    };
    EXPECT_THROW(Benchmarks::diskWith(scratch.path(), io, later), CancellationError);
}

TEST(DiskBenchmarkVolume, FolderThatCannotTakeTheFileFailsToCreate) {
    const fs::path missing = fs::temp_directory_path() / ("nvx-missing-" + randomUUID());
    EXPECT_EQ(diskFailure(missing, DiskIO::system()), "Не удалось создать временный файл теста диска.");
}

bool isTmpfs(const fs::path& path) {
    struct statfs volume {};
    return ::statfs(path.c_str(), &volume) == 0 && volume.f_type == TMPFS_MAGIC;
}

TEST(DiskBenchmarkVolume, MemoryBackedTemporaryFolderRefusesTheCacheBypass) {
    if (!isTmpfs("/dev/shm")) GTEST_SKIP() << "no tmpfs at /dev/shm on this machine";
    ScratchFolder scratch("/dev/shm");
    ASSERT_TRUE(scratch.valid());
    EXPECT_EQ(diskFailure(scratch.path(), DiskIO::system()),
              "Этот том не поддерживает отключение файлового кэша. Тест диска пропущен.");
    EXPECT_TRUE(scratch.empty());
}

}  // namespace
}  // namespace nvx
