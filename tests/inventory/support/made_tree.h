#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace nvx::testing {

// A /sys and /proc tree made by hand in a private temporary folder, for the
// cases no recorded machine shows; removed with the object.
class MadeTree {
public:
    MadeTree() {
        std::string pattern = (std::filesystem::temp_directory_path() / "nvx-made-tree-XXXXXX").string();
        if (::mkdtemp(pattern.data())) root_ = pattern;
    }
    ~MadeTree() {
        std::error_code ignored;
        if (!root_.empty()) std::filesystem::remove_all(root_, ignored);
    }
    MadeTree(const MadeTree&) = delete;
    MadeTree& operator=(const MadeTree&) = delete;

    const std::filesystem::path& root() const { return root_; }

    // Writes `bytes` to the file at `relative`, creating its folders.
    void write(const std::string& relative, const std::string& bytes) const {
        const auto path = root_ / relative;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
    }

private:
    std::filesystem::path root_;
};

}  // namespace nvx::testing
