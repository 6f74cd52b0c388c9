#include "depot/receipt_key_digest.h"

#include <openssl/crypto.h>
#include <openssl/sha.h>

namespace nvx::depot {

bool isWellFormedReceiptKey(std::string_view key) {
    if (key.size() != 64) return false;
    for (char c : key) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

KeyDigest receiptKeyDigest(std::string_view key) {
    KeyDigest digest{};
    SHA256(reinterpret_cast<const unsigned char*>(key.data()), key.size(), digest.data());
    return digest;
}

bool sameDigest(const KeyDigest& first, const KeyDigest& second) {
    return CRYPTO_memcmp(first.data(), second.data(), first.size()) == 0;
}

}  // namespace nvx::depot
