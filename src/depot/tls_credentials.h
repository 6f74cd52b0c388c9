#pragma once

#include <openssl/ssl.h>

#include <filesystem>
#include <memory>
#include <mutex>
#include <stdexcept>

namespace nvx::depot {

// A certificate or key that cannot be used; what() is a Russian sentence.
class TLSSetupError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A server TLS context from PEM files: the certificate file may hold the
// chain (the server's certificate first, then intermediates), the key must
// belong to it. TLS 1.2 and newer only. Throws TLSSetupError.
std::shared_ptr<SSL_CTX> makeServerContext(const std::filesystem::path& certificateFile,
                                           const std::filesystem::path& keyFile);

// The depot's certificate and key, read again on request (a renewal). A new
// connection takes the current context; connections already open keep the
// one they started with.
class TLSCredentials {
public:
    // Throws TLSSetupError.
    TLSCredentials(std::filesystem::path certificateFile, std::filesystem::path keyFile);

    std::shared_ptr<SSL_CTX> current() const;

    // Reads both files again. On failure throws TLSSetupError and the
    // current context stays.
    void reload();

private:
    const std::filesystem::path certificateFile_;
    const std::filesystem::path keyFile_;
    mutable std::mutex lock_;
    std::shared_ptr<SSL_CTX> context_;
};

}  // namespace nvx::depot
