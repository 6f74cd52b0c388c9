#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "core/errors.h"
#include "core/files.h"

namespace nvx {
namespace {

class TemporaryFolder {
public:
    TemporaryFolder() {
        path_ = std::filesystem::temp_directory_path() / ("nvx-files-test-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path_);
    }
    ~TemporaryFolder() { std::filesystem::remove_all(path_); }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

TEST(AtomicWrite, ReplacesTheFileAndLeavesNoTemporaryBehind) {
    TemporaryFolder folder;
    const auto target = folder.path() / "report.json";
    writeFileAtomically(target, "first");
    writeFileAtomically(target, "second, longer");
    EXPECT_EQ(readWholeFile(target), "second, longer");
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder.path())) ++entries;
    EXPECT_EQ(entries, 1);
}

TEST(AtomicWrite, MissingFolderIsAFileSystemErrorNamingThePath) {
    TemporaryFolder folder;
    const auto target = folder.path() / "missing" / "report.json";
    try {
        writeFileAtomically(target, "x");
        FAIL();
    } catch (const FileSystemError& error) {
        EXPECT_NE(std::string(error.what()).find(target.string()), std::string::npos);
        EXPECT_NE(std::string(error.what()).find("нет такого файла или папки"), std::string::npos);
    }
}

TEST(ReadWholeFile, ReadsBinaryBytesAndRefusesFolders) {
    TemporaryFolder folder;
    const auto target = folder.path() / "bytes";
    std::string bytes(200000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
    std::ofstream(target, std::ios::binary) << bytes;
    EXPECT_EQ(readWholeFile(target), bytes);
    EXPECT_THROW(readWholeFile(folder.path()), FileSystemError);
    EXPECT_THROW(readWholeFile(""), FileSystemError);
}

}  // namespace
}  // namespace nvx
