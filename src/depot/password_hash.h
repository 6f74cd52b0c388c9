#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nvx::depot {

// scrypt's cost: N = 2^logN, block size r, parallelism p.
struct ScryptParameters {
    int logN = 15;  // 32 MiB and roughly a tenth of a second per check
    int r = 8;
    int p = 1;
};

// A salted, slow hash of a viewer's password, written in the PHC string
// form "$scrypt$ln=15,r=8,p=1$<salt>$<hash>" (unpadded base64), so the
// parameters travel with the hash and can be raised later.
struct PasswordHash {
    ScryptParameters parameters;
    std::vector<unsigned char> salt;
    std::vector<unsigned char> hash;
};

// A fresh random salt. Throws std::runtime_error when OpenSSL fails.
std::string hashPassword(std::string_view password, const ScryptParameters& parameters = {});

// Nullopt for anything but the form above, and for costs a server should
// not pay per request (over 256 MiB of memory, or absurd values).
std::optional<PasswordHash> parsePasswordHash(std::string_view text);

// Compares in time independent of where the hashes differ.
bool passwordMatches(std::string_view password, const PasswordHash& hash);

}  // namespace nvx::depot
