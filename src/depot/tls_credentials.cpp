#include "depot/tls_credentials.h"

#include <openssl/err.h>
#include <openssl/x509.h>

#include <string>

namespace nvx::depot {
namespace {

// OpenSSL's reason for the last failure, then the queue emptied.
std::string openSSLReason() {
    const unsigned long error = ERR_peek_last_error();
    char text[256] = "неизвестная ошибка OpenSSL";
    if (error != 0) ERR_error_string_n(error, text, sizeof text);
    ERR_clear_error();
    return text;
}

}  // namespace

std::shared_ptr<SSL_CTX> makeServerContext(const std::filesystem::path& certificateFile,
                                           const std::filesystem::path& keyFile) {
    std::shared_ptr<SSL_CTX> context(SSL_CTX_new(TLS_server_method()), &SSL_CTX_free);
    if (!context) throw TLSSetupError("Склад не смог подготовить TLS: " + openSSLReason() + ".");
    SSL_CTX* raw = context.get();
    SSL_CTX_set_min_proto_version(raw, TLS1_2_VERSION);
    // Partial writes on non-blocking sockets, retried from where they stopped.
    SSL_CTX_set_mode(raw, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    // No renegotiation (a client could make the server do handshakes at will)
    // and the server's cipher order, as the usual server guides advise.
    SSL_CTX_set_options(raw, SSL_OP_NO_RENEGOTIATION | SSL_OP_CIPHER_SERVER_PREFERENCE);
    if (SSL_CTX_use_certificate_chain_file(raw, certificateFile.c_str()) != 1) {
        throw TLSSetupError("Склад не смог прочитать сертификат «" + certificateFile.string() +
                            "»: " + openSSLReason() + ".");
    }
    if (SSL_CTX_use_PrivateKey_file(raw, keyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
        const unsigned long error = ERR_peek_last_error();
        if (ERR_GET_LIB(error) == ERR_LIB_X509 && ERR_GET_REASON(error) == X509_R_KEY_VALUES_MISMATCH) {
            ERR_clear_error();
            throw TLSSetupError("Закрытый ключ «" + keyFile.string() + "» не подходит к сертификату «" +
                                certificateFile.string() + "».");
        }
        throw TLSSetupError("Склад не смог прочитать закрытый ключ «" + keyFile.string() + "»: " + openSSLReason() +
                            ".");
    }
    if (SSL_CTX_check_private_key(raw) != 1) {
        throw TLSSetupError("Закрытый ключ «" + keyFile.string() + "» не подходит к сертификату «" +
                            certificateFile.string() + "».");
    }
    return context;
}

TLSCredentials::TLSCredentials(std::filesystem::path certificateFile, std::filesystem::path keyFile)
    : certificateFile_(std::move(certificateFile)),
      keyFile_(std::move(keyFile)),
      context_(makeServerContext(certificateFile_, keyFile_)) {}

std::shared_ptr<SSL_CTX> TLSCredentials::current() const {
    std::lock_guard lock(lock_);
    return context_;
}

void TLSCredentials::reload() {
    std::shared_ptr<SSL_CTX> renewed = makeServerContext(certificateFile_, keyFile_);
    std::lock_guard lock(lock_);
    context_ = std::move(renewed);
}

}  // namespace nvx::depot
