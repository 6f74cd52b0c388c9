#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <system_error>

#include "bench/benchmark_options.h"
#include "bench/benchmarks.h"
#include "bench/uncached_file.h"
#include "core/errors.h"
#include "core/random_id.h"
#include "inventory/process_runner.h"

namespace nvx::Benchmarks {

namespace {

constexpr std::size_t chunkBytes = 8'388'608;  // 8 MiB per transfer
constexpr int chunkCount = 16;
constexpr std::uint64_t fileBytes = chunkBytes * chunkCount;  // 128 MiB
constexpr std::size_t bufferAlignment = 4096;                 // what uncached transfers need

constexpr const char* cacheRefusedText = "Этот том не поддерживает отключение файлового кэша. Тест диска пропущен.";

// The open test file. Closed and deleted on every way out, success included.
class TestFile {
public:
    TestFile(int fd, std::filesystem::path path) : fd_(fd), path_(std::move(path)) {}
    ~TestFile() {
        ::close(fd_);
        ::unlink(path_.c_str());
    }
    TestFile(const TestFile&) = delete;
    TestFile& operator=(const TestFile&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
    std::filesystem::path path_;
};

struct FreeMemory {
    void operator()(void* block) const { std::free(block); }
};

Metric diskMetric(const char* id, const char* title, double seconds, const std::string& checksum) {
    const double rate = 128.0 / std::max(0.000001, seconds);  // the floor keeps the rate finite
    Metric metric;
    metric.id = id;
    metric.title = title;
    metric.value = rate;
    metric.unit = "МиБ/с";
    metric.samples = {rate};
    metric.status = "ok";
    metric.note =
        "Один проход по временному файлу 128 МиБ на томе временной папки macOS. F_NOCACHE, запись с fsync. Это "
        "короткий тест, не установившаяся скорость всего диска. Файл удалён после теста.";
    metric.parameters = {
        {"bytes", std::to_string(fileBytes)}, {"rounds", "1"}, {"cache", "F_NOCACHE"}, {"write_sync", "fsync"},
        {"target", "temporary-volume"},
    };
    metric.checksum = checksum;
    return metric;
}

}  // namespace

std::vector<Metric> diskWith(const std::filesystem::path& directory, const DiskIO& io, const StopToken& token) {
    const std::filesystem::path path = directory / ("nvx-disk-" + randomUUID(UUIDCase::upper));
    const int fd = ::open(path.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) throw DepotriumError("Не удалось создать временный файл теста диска.");
    const TestFile file(fd, path);

    if (!disableFileCache(file.fd())) throw DepotriumError(cacheRefusedText);

    const std::unique_ptr<unsigned char, FreeMemory> buffer(
        static_cast<unsigned char*>(std::aligned_alloc(bufferAlignment, chunkBytes)));
    if (!buffer) throw DepotriumError("Недостаточно памяти для теста диска.");
    fillRandomBytes(buffer.get(), chunkBytes);

    const double writeStart = monotonic();
    bool firstTransfer = true;
    for (int chunk = 0; chunk < chunkCount; ++chunk) {
        token.check();
        std::size_t written = 0;
        while (written < chunkBytes) {  // a short write goes on from where it stopped
            const ssize_t count = io.write(file.fd(), buffer.get() + written, chunkBytes - written);
            if (count <= 0) {
                if (count < 0 && firstTransfer && isCacheBypassRefusal(errno)) throw DepotriumError(cacheRefusedText);
                throw DepotriumError("Не удалось записать временный файл теста диска.");
            }
            firstTransfer = false;
            written += static_cast<std::size_t>(count);
        }
    }
    if (io.fsync(file.fd()) != 0) throw DepotriumError("Ошибка синхронизации временного файла.");
    const double writeSeconds = monotonic() - writeStart;

    if (io.lseek(file.fd(), 0, SEEK_SET) != 0) throw DepotriumError("Не удалось прочитать временный файл теста.");

    const double readStart = monotonic();
    std::uint64_t total = 0;
    std::uint64_t sink = 0;
    while (total < fileBytes) {
        token.check();
        const ssize_t count = io.read(file.fd(), buffer.get(), chunkBytes);
        if (count <= 0) throw DepotriumError("Временный файл прочитан не полностью.");
        total += static_cast<std::uint64_t>(count);
        std::uint64_t head = 0;
        std::memcpy(&head, buffer.get(), sizeof head);
        sink += head;  // uses every read, and wraps modulo 2^64
    }
    const double readSeconds = monotonic() - readStart;

    const std::string checksum = std::to_string(sink);
    return {diskMetric("disk_write", "Диск · запись", writeSeconds, checksum),
            diskMetric("disk_read", "Диск · чтение", readSeconds, checksum)};
}

std::vector<Metric> disk(const StopToken& token) {
    std::error_code error;
    const std::filesystem::path directory = std::filesystem::temp_directory_path(error);
    if (error) throw DepotriumError("Не удалось создать временный файл теста диска.");
    return diskWith(directory, DiskIO::system(), token);
}

}  // namespace nvx::Benchmarks
