#pragma once

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>
#include <string>

namespace nvx::testing {

struct KeyDeleter {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertificateDeleter {
    void operator()(X509* certificate) const { X509_free(certificate); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyDeleter>;
using Certificate = std::unique_ptr<X509, CertificateDeleter>;

// A throw-away certificate authority and a server certificate it signed,
// made in memory for one test run.
struct TestCertificates {
    struct Options {
        // The server certificate's DNS name; "localhost" also covers 127.0.0.1.
        std::string serverName = "localhost";
        // Sign the server certificate by an intermediate authority, which the
        // server must then send along (its chain file holds both).
        bool intermediate = false;
    };

    Key authorityKey;
    Certificate authority;
    Key intermediateKey;
    Certificate intermediate;  // null without Options::intermediate
    Key serverKey;
    Certificate server;

    std::string authorityPEM() const;
    // The server certificate followed by the intermediate, if any.
    std::string serverChainPEM() const;
    std::string serverKeyPEM() const;

    static TestCertificates make(const std::string& authorityName, const Options& options);
    static TestCertificates make(const std::string& authorityName) { return make(authorityName, Options{}); }
};

}  // namespace nvx::testing
