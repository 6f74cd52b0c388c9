#include "resources.h"

#include <cstdlib>
#include <system_error>

#include <unistd.h>

namespace nvx {

namespace {

std::filesystem::path executableDirectory() {
    std::error_code error;
    auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return {};
    return executable.parent_path();
}

bool isDirectory(const std::filesystem::path& path) {
    std::error_code error;
    return !path.empty() && std::filesystem::is_directory(path, error);
}

}  // namespace

std::filesystem::path resourceDirectory() {
    if (const char* configured = std::getenv("NVX_RESOURCE_DIR")) {
        std::filesystem::path path(configured);
        return isDirectory(path) ? path : std::filesystem::path();
    }
    const auto base = executableDirectory();
    if (base.empty()) return {};
    for (const auto& candidate : {base / "resources", base.parent_path() / "resources",
                                  base.parent_path() / "share" / "nvx-depotrium"}) {
        if (isDirectory(candidate)) return candidate;
    }
    return {};
}

std::filesystem::path resourcePath(const std::string& name, const std::string& extension) {
    const auto directory = resourceDirectory();
    if (directory.empty()) return {};
    auto path = directory / (name + "." + extension);
    std::error_code error;
    return std::filesystem::is_regular_file(path, error) ? path : std::filesystem::path();
}

}  // namespace nvx
