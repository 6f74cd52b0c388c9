#include "upload/test_certificates.h"

#include <openssl/bio.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <stdexcept>

namespace nvx::testing {
namespace {

void require(bool condition, const char* what) {
    if (!condition) throw std::runtime_error(std::string("test certificate: ") + what);
}

std::unique_ptr<EVP_PKEY, KeyDeleter> newKey() {
    std::unique_ptr<EVP_PKEY, KeyDeleter> key(EVP_EC_gen("P-256"));
    require(key != nullptr, "key generation");
    return key;
}

void addExtension(X509* certificate, X509* issuer, int nid, const char* value) {
    X509V3_CTX context;
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    require(extension != nullptr, "extension");
    X509_add_ext(certificate, extension, -1);
    X509_EXTENSION_free(extension);
}

std::unique_ptr<X509, CertificateDeleter> newCertificate(const char* commonName, EVP_PKEY* key, long serial) {
    std::unique_ptr<X509, CertificateDeleter> certificate(X509_new());
    require(certificate != nullptr, "allocation");
    X509_set_version(certificate.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()), serial);
    X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(certificate.get()), 24 * 3600);
    X509_set_pubkey(certificate.get(), key);
    X509_NAME_add_entry_by_txt(X509_get_subject_name(certificate.get()), "CN", MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char*>(commonName), -1, -1, 0);
    return certificate;
}

}  // namespace

TestCertificates TestCertificates::make(const std::string& authorityName) {
    TestCertificates made;
    made.authorityKey = newKey();
    made.authority = newCertificate(authorityName.c_str(), made.authorityKey.get(), 1);
    X509* authority = made.authority.get();
    X509_set_issuer_name(authority, X509_get_subject_name(authority));
    addExtension(authority, authority, NID_basic_constraints, "critical,CA:TRUE");
    addExtension(authority, authority, NID_key_usage, "critical,keyCertSign,cRLSign");
    addExtension(authority, authority, NID_subject_key_identifier, "hash");
    require(X509_sign(authority, made.authorityKey.get(), EVP_sha256()) > 0, "signing the authority");

    made.serverKey = newKey();
    made.server = newCertificate("localhost", made.serverKey.get(), 2);
    X509* server = made.server.get();
    X509_set_issuer_name(server, X509_get_subject_name(authority));
    addExtension(server, authority, NID_basic_constraints, "critical,CA:FALSE");
    addExtension(server, authority, NID_key_usage, "critical,digitalSignature");
    addExtension(server, authority, NID_ext_key_usage, "serverAuth");
    addExtension(server, authority, NID_subject_alt_name, "DNS:localhost,IP:127.0.0.1");
    addExtension(server, authority, NID_authority_key_identifier, "keyid:always");
    require(X509_sign(server, made.authorityKey.get(), EVP_sha256()) > 0, "signing the server certificate");
    return made;
}

std::string TestCertificates::authorityPEM() const {
    std::unique_ptr<BIO, decltype(&BIO_free)> memory(BIO_new(BIO_s_mem()), &BIO_free);
    require(memory != nullptr && PEM_write_bio_X509(memory.get(), authority.get()) == 1, "PEM output");
    char* data = nullptr;
    const long length = BIO_get_mem_data(memory.get(), &data);
    return std::string(data, static_cast<std::size_t>(length));
}

}  // namespace nvx::testing
