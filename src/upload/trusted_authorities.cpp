#include "upload/trusted_authorities.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cstdlib>
#include <memory>

#include "core/errors.h"
#include "core/files.h"

namespace nvx {

std::size_t certificateCount(const std::string& pem) {
    std::unique_ptr<BIO, decltype(&BIO_free)> input(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())),
                                                    &BIO_free);
    std::size_t count = 0;
    while (input) {
        X509* certificate = PEM_read_bio_X509(input.get(), nullptr, nullptr, nullptr);
        if (certificate == nullptr) break;
        X509_free(certificate);
        ++count;
    }
    // The end of the text is reported as an error too; it is not one.
    ERR_clear_error();
    return count;
}

std::string readAuthorityFile(const std::filesystem::path& file) {
    std::string pem;
    try {
        pem = readWholeFile(file);
    } catch (const FileSystemError& error) {
        // The description already names the file and the reason.
        throw DepotriumError(std::string(authorityFileVariable) + ": " + error.what());
    }
    if (certificateCount(pem) == 0) {
        throw DepotriumError(std::string(authorityFileVariable) + ": в файле «" + file.string() +
                             "» нет ни одного сертификата в формате PEM.");
    }
    return pem;
}

UploadOptions uploadOptionsFromEnvironment() {
    UploadOptions options;
    const char* file = std::getenv(authorityFileVariable);
    if (file != nullptr && file[0] != '\0') options.extraAuthoritiesPEM = readAuthorityFile(file);
    return options;
}

}  // namespace nvx
