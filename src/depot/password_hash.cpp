#include "depot/password_hash.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <charconv>
#include <stdexcept>

namespace nvx::depot {
namespace {

constexpr std::size_t saltBytes = 16;
constexpr std::size_t hashBytes = 32;
constexpr std::uint64_t maximumMemoryBytes = 256ull * 1024 * 1024;

std::string base64(const std::vector<unsigned char>& bytes) {
    std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int length =
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()), bytes.data(), static_cast<int>(bytes.size()));
    text.resize(static_cast<std::size_t>(length));
    while (!text.empty() && text.back() == '=') text.pop_back();
    return text;
}

std::optional<std::vector<unsigned char>> fromBase64(std::string_view text) {
    if (text.empty() || text.size() % 4 == 1) return std::nullopt;
    for (char c : text) {
        const bool valid =
            (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/';
        if (!valid) return std::nullopt;
    }
    std::string padded(text);
    const std::size_t padding = (4 - padded.size() % 4) % 4;
    padded.append(padding, '=');
    std::vector<unsigned char> bytes(padded.size() / 4 * 3);
    const int length = EVP_DecodeBlock(bytes.data(), reinterpret_cast<const unsigned char*>(padded.data()),
                                       static_cast<int>(padded.size()));
    if (length < 0) return std::nullopt;
    // EVP_DecodeBlock counts the bytes that the padding stands for.
    bytes.resize(static_cast<std::size_t>(length) - padding);
    return bytes;
}

std::uint64_t memoryOf(const ScryptParameters& parameters) {
    return 128ull * static_cast<std::uint64_t>(parameters.r) * (1ull << parameters.logN) *
           static_cast<std::uint64_t>(parameters.p);
}

bool sane(const ScryptParameters& parameters) {
    return parameters.logN >= 1 && parameters.logN <= 24 && parameters.r >= 1 && parameters.r <= 32 &&
           parameters.p >= 1 && parameters.p <= 16 && memoryOf(parameters) <= maximumMemoryBytes;
}

std::vector<unsigned char> derive(std::string_view password, const std::vector<unsigned char>& salt,
                                  const ScryptParameters& parameters, std::size_t length) {
    std::vector<unsigned char> key(length);
    if (EVP_PBE_scrypt(password.data(), password.size(), salt.data(), salt.size(), 1ull << parameters.logN,
                       static_cast<std::uint64_t>(parameters.r), static_cast<std::uint64_t>(parameters.p),
                       memoryOf(parameters) + 1024 * 1024, key.data(), key.size()) != 1) {
        throw std::runtime_error("OpenSSL не смог вычислить scrypt.");
    }
    return key;
}

// Reads "name=number" from the front of `text`.
bool readParameter(std::string_view& text, std::string_view name, int& value) {
    if (text.substr(0, name.size()) != name || text.size() <= name.size() || text[name.size()] != '=') return false;
    text.remove_prefix(name.size() + 1);
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end == text.data()) return false;
    text.remove_prefix(static_cast<std::size_t>(end - text.data()));
    return true;
}

}  // namespace

std::string hashPassword(std::string_view password, const ScryptParameters& parameters) {
    if (!sane(parameters)) throw std::runtime_error("Недопустимые параметры scrypt.");
    PasswordHash made;
    made.parameters = parameters;
    made.salt.resize(saltBytes);
    if (RAND_bytes(made.salt.data(), static_cast<int>(made.salt.size())) != 1) {
        throw std::runtime_error("OpenSSL не дал случайных байтов для соли.");
    }
    made.hash = derive(password, made.salt, parameters, hashBytes);
    return "$scrypt$ln=" + std::to_string(parameters.logN) + ",r=" + std::to_string(parameters.r) +
           ",p=" + std::to_string(parameters.p) + "$" + base64(made.salt) + "$" + base64(made.hash);
}

std::optional<PasswordHash> parsePasswordHash(std::string_view text) {
    constexpr std::string_view prefix = "$scrypt$";
    if (text.substr(0, prefix.size()) != prefix) return std::nullopt;
    text.remove_prefix(prefix.size());
    const auto skip = [&text](char expected) {
        if (text.empty() || text.front() != expected) return false;
        text.remove_prefix(1);
        return true;
    };
    PasswordHash parsed;
    if (!readParameter(text, "ln", parsed.parameters.logN) || !skip(',') ||
        !readParameter(text, "r", parsed.parameters.r) || !skip(',') ||
        !readParameter(text, "p", parsed.parameters.p) || !skip('$')) {
        return std::nullopt;
    }
    const std::size_t separator = text.find('$');
    if (separator == std::string_view::npos) return std::nullopt;
    auto salt = fromBase64(text.substr(0, separator));
    auto hash = fromBase64(text.substr(separator + 1));
    if (!salt || !hash || salt->size() < 8 || hash->size() != hashBytes || !sane(parsed.parameters))
        return std::nullopt;
    parsed.salt = std::move(*salt);
    parsed.hash = std::move(*hash);
    return parsed;
}

bool passwordMatches(std::string_view password, const PasswordHash& hash) {
    const auto derived = derive(password, hash.salt, hash.parameters, hash.hash.size());
    return CRYPTO_memcmp(derived.data(), hash.hash.data(), derived.size()) == 0;
}

}  // namespace nvx::depot
