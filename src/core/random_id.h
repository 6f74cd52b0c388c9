#pragma once

#include <cstddef>
#include <string>

namespace nvx {

// Fills a buffer with cryptographically random bytes from the kernel.
void fillRandomBytes(void* buffer, std::size_t size);

enum class UUIDCase { lower, upper };

// A random (version 4) UUID in canonical 8-4-4-4-12 form.
std::string randomUUID(UUIDCase letterCase = UUIDCase::lower);

// The canonical 8-4-4-4-12 text of 16 bytes, in byte order.
std::string formatUUID(const unsigned char (&bytes)[16], UUIDCase letterCase = UUIDCase::lower);

// True when `text` is a UUID in canonical 8-4-4-4-12 hexadecimal form.
bool isCanonicalUUID(const std::string& text);

}  // namespace nvx
