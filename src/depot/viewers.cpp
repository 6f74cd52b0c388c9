#include "depot/viewers.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/sha.h>

#include <semaphore>

#include "core/errors.h"
#include "core/files.h"

namespace nvx::depot {
namespace {

// Admitted credentials remembered at most; the memory is forgotten when full.
constexpr std::size_t rememberedCredentials = 1024;

// Slow hashes computed at once. Each takes tens of megabytes and a tenth of
// a second of a processor: a flood of wrong passwords queues here instead of
// taking the machine's memory and every core.
std::counting_semaphore<64> hashingSlots(2);

std::array<unsigned char, 32> sha256(std::string_view text) {
    std::array<unsigned char, 32> digest{};
    SHA256(reinterpret_cast<const unsigned char*>(text.data()), text.size(), digest.data());
    return digest;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

// "Basic <base64 of name:password>" → name and password.
bool basicCredentials(std::string_view authorization, std::string& name, std::string& password) {
    authorization = trimmed(authorization);
    const std::size_t space = authorization.find(' ');
    if (space == std::string_view::npos) return false;
    std::string scheme(authorization.substr(0, space));
    for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::string_view encoded = trimmed(authorization.substr(space + 1));
    if (scheme != "basic" || encoded.empty() || encoded.size() % 4 != 0 || encoded.size() > 4096) return false;
    std::string decoded(encoded.size() / 4 * 3, '\0');
    const int length =
        EVP_DecodeBlock(reinterpret_cast<unsigned char*>(decoded.data()),
                        reinterpret_cast<const unsigned char*>(encoded.data()), static_cast<int>(encoded.size()));
    if (length < 0) return false;
    std::size_t padding = 0;
    for (std::size_t i = encoded.size(); i > 0 && encoded[i - 1] == '='; --i) ++padding;
    decoded.resize(static_cast<std::size_t>(length) - std::min<std::size_t>(padding, 2));
    const std::size_t colon = decoded.find(':');
    if (colon == std::string::npos) return false;
    name = decoded.substr(0, colon);
    password = decoded.substr(colon + 1);
    return true;
}

}  // namespace

std::shared_ptr<const ViewerList> ViewerList::parse(std::string_view text, const std::string& fileName) {
    auto list = std::make_shared<ViewerList>();
    std::set<std::string, std::less<>> names;
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = trimmed(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++lineNumber;
        if (line.empty() || line.front() == '#') continue;
        const std::string where = "Файл зрителей «" + fileName + "», строка " + std::to_string(lineNumber);
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0) {
            throw ViewersFileError(where + ": нужен вид имя:хеш.");
        }
        const std::string name(line.substr(0, colon));
        const auto hash = parsePasswordHash(line.substr(colon + 1));
        if (!hash) {
            throw ViewersFileError(where +
                                   ": хеш пароля не распознан; получите его командой nvx-depot --hash-password.");
        }
        if (!names.insert(name).second) throw ViewersFileError(where + ": зритель «" + name + "» уже указан выше.");
        list->viewers_.push_back({sha256(name), *hash});
    }
    if (list->viewers_.empty()) {
        throw ViewersFileError("В файле зрителей «" + fileName + "» нет ни одного зрителя.");
    }
    // The decoy costs what a real viewer's hash costs.
    list->decoy_.parameters = list->viewers_.front().hash.parameters;
    list->decoy_.salt.assign(16, 0);
    list->decoy_.hash.assign(32, 0);
    RAND_bytes(list->decoy_.salt.data(), static_cast<int>(list->decoy_.salt.size()));
    return list;
}

std::shared_ptr<const ViewerList> ViewerList::load(const std::filesystem::path& file) {
    std::string text;
    try {
        text = readWholeFile(file);
    } catch (const FileSystemError& error) {
        throw ViewersFileError(std::string("Файл зрителей не прочитан. ") + error.what());
    }
    return parse(text, file.string());
}

bool ViewerList::admits(std::string_view authorization) const {
    std::string name;
    std::string password;
    if (!basicCredentials(authorization, name, password)) return false;
    const Digest presented = sha256(authorization);
    {
        std::lock_guard lock(admittedLock_);
        if (admitted_.count(presented) != 0) return true;
    }
    const Digest nameDigest = sha256(name);
    const Viewer* match = nullptr;
    for (const Viewer& viewer : viewers_) {
        const bool same = CRYPTO_memcmp(viewer.nameDigest.data(), nameDigest.data(), nameDigest.size()) == 0;
        if (same) match = &viewer;
    }
    bool matches = false;
    {
        hashingSlots.acquire();
        try {
            matches = passwordMatches(password, match != nullptr ? match->hash : decoy_) && match != nullptr;
        } catch (...) {
            matches = false;
        }
        hashingSlots.release();
    }
    if (matches) {
        std::lock_guard lock(admittedLock_);
        if (admitted_.size() >= rememberedCredentials) admitted_.clear();
        admitted_.insert(presented);
    }
    return matches;
}

Viewers::Viewers(std::filesystem::path file) : file_(std::move(file)), list_(ViewerList::load(file_)) {}

std::shared_ptr<const ViewerList> Viewers::current() const {
    std::lock_guard lock(lock_);
    return list_;
}

void Viewers::reload() {
    auto renewed = ViewerList::load(file_);
    std::lock_guard lock(lock_);
    list_ = std::move(renewed);
}

}  // namespace nvx::depot
