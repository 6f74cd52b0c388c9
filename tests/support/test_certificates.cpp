#include "support/test_certificates.h"

#include <openssl/bio.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <stdexcept>

namespace nvx::testing {
namespace {

void require(bool condition, const char* what) {
    if (!condition) throw std::runtime_error(std::string("test certificate: ") + what);
}

Key newKey() {
    Key key(EVP_EC_gen("P-256"));
    require(key != nullptr, "key generation");
    return key;
}

void addExtension(X509* certificate, X509* issuer, int nid, const std::string& value) {
    X509V3_CTX context;
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
    require(extension != nullptr, "extension");
    X509_add_ext(certificate, extension, -1);
    X509_EXTENSION_free(extension);
}

Certificate newCertificate(const std::string& commonName, EVP_PKEY* key, long serial) {
    Certificate certificate(X509_new());
    require(certificate != nullptr, "allocation");
    X509_set_version(certificate.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()), serial);
    X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(certificate.get()), 24 * 3600);
    X509_set_pubkey(certificate.get(), key);
    X509_NAME_add_entry_by_txt(X509_get_subject_name(certificate.get()), "CN", MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char*>(commonName.c_str()), -1, -1, 0);
    return certificate;
}

Certificate newAuthority(const std::string& name, EVP_PKEY* key, X509* issuer, EVP_PKEY* issuerKey, long serial) {
    Certificate authority = newCertificate(name, key, serial);
    X509* signer = issuer != nullptr ? issuer : authority.get();
    X509_set_issuer_name(authority.get(), X509_get_subject_name(signer));
    addExtension(authority.get(), signer, NID_basic_constraints, "critical,CA:TRUE");
    addExtension(authority.get(), signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    addExtension(authority.get(), signer, NID_subject_key_identifier, "hash");
    if (issuer != nullptr) addExtension(authority.get(), signer, NID_authority_key_identifier, "keyid:always");
    require(X509_sign(authority.get(), issuerKey != nullptr ? issuerKey : key, EVP_sha256()) > 0, "signing");
    return authority;
}

template <typename Write>
std::string pem(Write write) {
    std::unique_ptr<BIO, decltype(&BIO_free)> memory(BIO_new(BIO_s_mem()), &BIO_free);
    require(memory != nullptr && write(memory.get()) == 1, "PEM output");
    char* data = nullptr;
    const long length = BIO_get_mem_data(memory.get(), &data);
    return std::string(data, static_cast<std::size_t>(length));
}

}  // namespace

TestCertificates TestCertificates::make(const std::string& authorityName, const Options& options) {
    TestCertificates made;
    made.authorityKey = newKey();
    made.authority = newAuthority(authorityName, made.authorityKey.get(), nullptr, nullptr, 1);
    X509* issuer = made.authority.get();
    EVP_PKEY* issuerKey = made.authorityKey.get();
    if (options.intermediate) {
        made.intermediateKey = newKey();
        made.intermediate =
            newAuthority(authorityName + " Intermediate", made.intermediateKey.get(), issuer, issuerKey, 3);
        issuer = made.intermediate.get();
        issuerKey = made.intermediateKey.get();
    }

    made.serverKey = newKey();
    made.server = newCertificate(options.serverName, made.serverKey.get(), 2);
    X509* server = made.server.get();
    X509_set_issuer_name(server, X509_get_subject_name(issuer));
    addExtension(server, issuer, NID_basic_constraints, "critical,CA:FALSE");
    addExtension(server, issuer, NID_key_usage, "critical,digitalSignature");
    addExtension(server, issuer, NID_ext_key_usage, "serverAuth");
    const std::string names = "DNS:" + options.serverName + (options.serverName == "localhost" ? ",IP:127.0.0.1" : "");
    addExtension(server, issuer, NID_subject_alt_name, names);
    addExtension(server, issuer, NID_authority_key_identifier, "keyid:always");
    require(X509_sign(server, issuerKey, EVP_sha256()) > 0, "signing the server certificate");
    return made;
}

std::string TestCertificates::authorityPEM() const {
    return pem([&](BIO* out) { return PEM_write_bio_X509(out, authority.get()); });
}

std::string TestCertificates::serverChainPEM() const {
    std::string chain = pem([&](BIO* out) { return PEM_write_bio_X509(out, server.get()); });
    if (intermediate) chain += pem([&](BIO* out) { return PEM_write_bio_X509(out, intermediate.get()); });
    return chain;
}

std::string TestCertificates::serverKeyPEM() const {
    return pem([&](BIO* out) {
        return PEM_write_bio_PrivateKey(out, serverKey.get(), nullptr, nullptr, 0, nullptr, nullptr);
    });
}

}  // namespace nvx::testing
