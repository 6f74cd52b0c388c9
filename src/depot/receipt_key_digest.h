#pragma once

#include <array>
#include <string_view>

namespace nvx::depot {

using KeyDigest = std::array<unsigned char, 32>;

// True for exactly 64 lower-case hexadecimal digits, the form every client
// makes its receipt keys in.
bool isWellFormedReceiptKey(std::string_view key);

// The SHA-256 of a receipt key. Only this digest is stored, so the database
// alone does not let anyone read the reports back through the API.
KeyDigest receiptKeyDigest(std::string_view key);

// Compares two digests in time independent of where they differ.
bool sameDigest(const KeyDigest& first, const KeyDigest& second);

}  // namespace nvx::depot
