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

// A throw-away certificate authority and a server certificate it signed for
// "localhost" and 127.0.0.1, made in memory for one test run.
struct TestCertificates {
    std::unique_ptr<EVP_PKEY, KeyDeleter> authorityKey;
    std::unique_ptr<X509, CertificateDeleter> authority;
    std::unique_ptr<EVP_PKEY, KeyDeleter> serverKey;
    std::unique_ptr<X509, CertificateDeleter> server;

    std::string authorityPEM() const;

    static TestCertificates make(const std::string& authorityName);
};

}  // namespace nvx::testing
