#pragma once

// Helpers shared by the fuzz targets. A target states the promise of the
// reader it drives and calls brokenPromise() when the reader breaks it: that
// aborts, so libFuzzer keeps the input and the replay test fails on it.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdlib.h>  // mkdtemp
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace nvx::fuzz {

[[noreturn]] inline void brokenPromise(const char* promise, std::string_view detail = {}) {
    std::fprintf(stderr, "broken promise: %s\n", promise);
    if (!detail.empty()) std::fwrite(detail.data(), 1, detail.size(), stderr);
    std::fputc('\n', stderr);
    std::abort();
}

inline void require(bool kept, const char* promise, std::string_view detail = {}) {
    if (!kept) brokenPromise(promise, detail);
}

// A private folder under the temporary folder for the targets that read
// files, made at the first call and removed when the process ends.
inline const std::filesystem::path& scratchFolder(const char* prefix) {
    // Never destroyed, so the removal at exit still finds its name.
    static const auto* folder = [prefix] {
        std::string pattern = (std::filesystem::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
        if (!::mkdtemp(pattern.data())) brokenPromise("a scratch folder can be made", pattern);
        return new std::filesystem::path(pattern);
    }();
    static const bool removedAtExit = std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(*folder, ignored);
    }) == 0;
    (void)removedAtExit;
    return *folder;
}

inline std::string_view bytesOf(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// Whether `text` is valid UTF-8, by the same rule the report's writer applies.
inline bool isUTF8(std::string_view text) {
    try {
        (void)nlohmann::json(std::string(text)).dump();
        return true;
    } catch (const nlohmann::json::type_error&) {
        return false;
    }
}

// Several inputs in one: the pieces between lines of "#--".
inline std::vector<std::string_view> pieces(std::string_view input, std::size_t most) {
    constexpr std::string_view separator = "\n#--\n";
    std::vector<std::string_view> found;
    while (found.size() + 1 < most) {
        const auto at = input.find(separator);
        if (at == std::string_view::npos) break;
        found.push_back(input.substr(0, at));
        input.remove_prefix(at + separator.size());
    }
    found.push_back(input);
    while (found.size() < most) found.emplace_back();
    return found;
}

}  // namespace nvx::fuzz
