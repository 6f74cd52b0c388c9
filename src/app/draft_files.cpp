#include "app/draft_files.h"

#include <algorithm>
#include <cerrno>
#include <set>
#include <string>
#include <system_error>

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

#include "core/errors.h"
#include "core/files.h"
#include "core/report_limits.h"

namespace nvx {

QString dataDirectoryPath() {
    if (qEnvironmentVariableIsSet("NVX_DATA_DIR")) {
        // An empty value names the working directory, like any empty relative path.
        return QDir::current().absoluteFilePath(qEnvironmentVariable("NVX_DATA_DIR"));
    }
    // $XDG_DATA_HOME (default ~/.local/share) on Linux, Application Support on macOS.
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    // A relative XDG_DATA_HOME is invalid and to be ignored; Qt passes it on.
    if (base.isEmpty() || QDir::isRelativePath(base)) base = QDir::homePath() + QStringLiteral("/.local/share");
    return base + QStringLiteral("/NVX Depotrium");
}

std::filesystem::path localPath(const QString& path) {
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

bool isPlainFileStem(std::string_view id) {
    if (id.empty() || id == "." || id == "..") return false;
    for (std::size_t i = 0; i < id.size(); ++i) {
        const auto byte = static_cast<unsigned char>(id[i]);
        if (byte < 0x20 || byte == 0x7F || byte == '/' || byte == '\\') return false;
        // C1 controls U+0080-U+009F are encoded as C2 80 to C2 9F.
        if (byte == 0xC2 && i + 1 < id.size()) {
            const auto next = static_cast<unsigned char>(id[i + 1]);
            if (next >= 0x80 && next <= 0x9F) return false;
        }
    }
    return true;
}

std::optional<RunReport> readReportFile(const std::filesystem::path& file) {
    try {
        // Bounded like any report file: a draft the depot could never take is no draft.
        return RunReport::decode(readWholeFile(file, maximumReportBytes));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

namespace {

// A draft that cannot be read is skipped and the log says which and why, so
// the file on disk can still be found; a missing legacy file is no draft.
std::optional<RunReport> readDraft(const std::filesystem::path& file) {
    try {
        // Bounded like any report file: a draft the depot could never take is no draft.
        return RunReport::decode(readWholeFile(file, maximumReportBytes));
    } catch (const std::exception& error) {
        std::error_code ignored;
        if (std::filesystem::exists(file, ignored)) {
            qWarning("Черновик «%s» пропущен: %s", file.c_str(), error.what());
        }
        return std::nullopt;
    }
}

}  // namespace

std::vector<RunReport> loadDrafts(const std::filesystem::path& dataDirectory) {
    // A draft write that was killed midway leaves its hidden temporary behind;
    // nothing else ever removes those.
    removeStaleTemporaries(dataDirectory / draftFolderName);

    std::vector<std::filesystem::path> candidates{dataDirectory / legacyDraftFileName};
    std::error_code listingError;
    for (std::filesystem::directory_iterator entries(dataDirectory / draftFolderName, listingError), end;
         !listingError && entries != end; entries.increment(listingError)) {
        candidates.push_back(entries->path());
    }

    std::vector<RunReport> drafts;
    std::set<std::string, std::less<>> seenIds;
    for (const auto& candidate : candidates) {
        if (candidate.extension() != ".json") continue;
        auto report = readDraft(candidate);
        if (!report || !report->completed || !isPlainFileStem(report->id)) continue;
        if (!seenIds.insert(report->id).second) continue;
        drafts.push_back(std::move(*report));
    }
    std::stable_sort(drafts.begin(), drafts.end(),
                     [](const RunReport& a, const RunReport& b) { return a.created_at > b.created_at; });
    return drafts;
}

void createFolders(const std::filesystem::path& folder) {
    std::filesystem::path partial;
    for (const auto& part : folder) {
        partial /= part;
        if (part.empty() || part == partial.root_path()) continue;
        if (::mkdir(partial.c_str(), 0755) == 0) continue;
        const int failure = errno;
        struct stat info {};
        if (failure == EEXIST && ::stat(partial.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) continue;
        throw FileSystemError("Не удалось создать папку «" + partial.string() + "»: " +
                              systemErrorText(failure == EEXIST ? ENOTDIR : failure) + ".");
    }
}

void removeFileQuietly(const std::filesystem::path& file) {
    ::unlink(file.c_str());
}

}  // namespace nvx
