#include <cstdint>
#include <string>

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include "core/sha256.h"

namespace nvx {
namespace {

std::string hex(const SHA256Digest& digest) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    for (std::uint8_t byte : digest) {
        text += digits[byte >> 4];
        text += digits[byte & 0x0F];
    }
    return text;
}

TEST(SHA256, MatchesThePublishedExamples) {
    EXPECT_EQ(hex(sha256("")), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(hex(sha256("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(hex(sha256("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(hex(sha256("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu")),
              "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1");
    EXPECT_EQ(hex(sha256(std::string(1'000'000, 'a'))),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

// Every length around the block and padding boundaries (55/56, 63/64,
// 119/120 bytes) agrees with OpenSSL's digest of the same bytes.
TEST(SHA256, AgreesWithOpenSSLAtEveryLengthUpToThreeBlocks) {
    std::string bytes;
    for (int length = 0; length <= 200; ++length) {
        SHA256Digest expected{};
        unsigned int size = 0;
        ASSERT_EQ(EVP_Digest(bytes.data(), bytes.size(), expected.data(), &size, EVP_sha256(), nullptr), 1);
        EXPECT_EQ(hex(sha256(bytes)), hex(expected)) << "length " << length;
        bytes += static_cast<char>(length * 37 + 11);
    }
}

}  // namespace
}  // namespace nvx
