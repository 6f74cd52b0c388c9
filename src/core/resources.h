#pragma once

#include <filesystem>

namespace nvx {

// The folder that holds the application's data files (models.json, the
// pictures, the pet's sprite sheet): NVX_RESOURCE_DIR when set (tests point it
// elsewhere), else `resources` beside the executable in a build tree, else
// `../share/nvx-depotrium` when installed. Empty when none of them exists.
std::filesystem::path resourceDirectory();

// Path of a named resource file, e.g. resourcePath("models", "json"); empty
// when there is no resource directory or no such file.
std::filesystem::path resourcePath(const std::string& name, const std::string& extension);

}  // namespace nvx
