// Drafts are read back at every start from files that a crash, a full disk
// or another program may have damaged. The input is up to three files: the
// legacy pending.json and two files of the drafts folder.
// Promise: loading never crashes; every draft it returns is complete, safely
// named, unique by id, newest first, and survives encoding unchanged; the
// files themselves are left as they were.

#include <QtGlobal>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include <stdlib.h>

#include "app/draft_files.h"
#include "core/errors.h"
#include "fuzz_support.h"

using namespace nvx;
namespace fs = std::filesystem;

namespace {

fs::path scratch;

void writeFile(const fs::path& file, std::string_view bytes) {
    std::ofstream stream(file, std::ios::binary | std::ios::trunc);
    stream.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string readFile(const fs::path& file) {
    std::ifstream stream(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Skipped drafts are logged; thousands of runs a second would drown the
    // fuzzer's own output.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    scratch = fuzz::scratchFolder("nvx-fuzz-drafts");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto files = fuzz::pieces(fuzz::bytesOf(data, size), 3);
    std::error_code ignored;
    fs::remove_all(scratch / draftFolderName, ignored);
    fs::remove(scratch / legacyDraftFileName, ignored);
    fs::create_directories(scratch / draftFolderName);
    const fs::path written[] = {scratch / legacyDraftFileName, scratch / draftFolderName / "a.json",
                                scratch / draftFolderName / "b.json"};
    for (std::size_t index = 0; index < 3; ++index)
        if (!files[index].empty()) writeFile(written[index], files[index]);

    const std::vector<RunReport> drafts = loadDrafts(scratch);

    std::set<std::string> ids;
    for (std::size_t index = 0; index < drafts.size(); ++index) {
        const RunReport& draft = drafts[index];
        fuzz::require(draft.completed, "only completed drafts are loaded");
        fuzz::require(isPlainFileStem(draft.id), "only safely named drafts are loaded", draft.id);
        fuzz::require(ids.insert(draft.id).second, "each id is loaded once", draft.id);
        if (index > 0) fuzz::require(drafts[index - 1].created_at >= draft.created_at, "drafts come newest first");
        try {
            fuzz::require(RunReport::decode(draft.data()) == draft, "a loaded draft survives encoding unchanged");
        } catch (const PlatformError& error) {
            fuzz::brokenPromise("a loaded draft encodes and decodes", error.what());
        }
    }
    for (std::size_t index = 0; index < 3; ++index)
        if (!files[index].empty()) fuzz::require(readFile(written[index]) == files[index], "drafts are only read");
    return 0;
}
