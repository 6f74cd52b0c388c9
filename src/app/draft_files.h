#pragma once

#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

#include <QString>

#include "core/report.h"

namespace nvx {

// Where completed, not yet accepted reports are kept between launches:
// <data directory>/pending/<report id>.json, and the older single file
// <data directory>/pending.json, which is read but never written.

inline constexpr const char* draftFolderName = "pending";
inline constexpr const char* legacyDraftFileName = "pending.json";

// NVX_DATA_DIR when set (a relative path counts from the working
// directory), else "NVX Depotrium" in the per-user data folder. Computed on
// each call, so a changed environment takes effect at once.
QString dataDirectoryPath();

std::filesystem::path localPath(const QString& path);

// Whether a report id can name a file of its own inside the drafts folder:
// not empty, not "." or "..", no path separator and no control character.
// Anything else would address a file elsewhere or an unreadable name.
bool isPlainFileStem(std::string_view id);

// The completed drafts found in the data directory: the legacy file first,
// then the folder in listing order; unreadable, undecodable, incomplete and
// unsafely named ones are skipped; the first of each id wins; newest first.
// Stale temporaries of killed draft writes are removed from the folder first.
std::vector<RunReport> loadDrafts(const std::filesystem::path& dataDirectory);

// The report in a file, or nothing if it cannot be read or decoded, is not a
// regular file or is larger than a report can be (maximumReportBytes).
std::optional<RunReport> readReportFile(const std::filesystem::path& file);

// Creates a folder and its missing parents; an existing folder is fine.
// Throws FileSystemError with a Russian description.
void createFolders(const std::filesystem::path& folder);

// Removes a file, ignoring any failure (a missing file included).
void removeFileQuietly(const std::filesystem::path& file);

}  // namespace nvx
