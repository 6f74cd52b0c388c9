// The authority file of NVX_CA_FILE: used when it holds certificates, an
// error of the upload otherwise, never silently ignored.

#include <gtest/gtest.h>

#include "core/errors.h"
#include "core/files.h"
#include "support/scratch_folder.h"
#include "support/test_certificates.h"
#include "upload/trusted_authorities.h"

namespace nvx {
namespace {

std::string failureOf(const std::filesystem::path& file) {
    try {
        readAuthorityFile(file);
    } catch (const DepotriumError& error) {
        return error.message();
    }
    return "(no DepotriumError)";
}

TEST(AuthorityFile, HoldsEveryCertificateOfTheFile) {
    testing::ScratchFolder folder;
    const auto one = testing::TestCertificates::make("Первый центр");
    const auto two = testing::TestCertificates::make("Второй центр");
    const std::string both = "# authorities of the organisation\n" + one.authorityPEM() + two.authorityPEM();
    writeFileAtomically(folder.path() / "ca.pem", both);
    EXPECT_EQ(readAuthorityFile(folder.path() / "ca.pem"), both);
    EXPECT_EQ(certificateCount(both), 2u);
}

TEST(AuthorityFile, AnUnreadableOrCertificateFreeFileIsAnError) {
    testing::ScratchFolder folder;
    const auto missing = failureOf(folder.path() / "missing.pem");
    EXPECT_EQ(missing.rfind("NVX_CA_FILE: ", 0), 0u) << missing;
    EXPECT_NE(missing.find("missing.pem"), std::string::npos);
    EXPECT_EQ(failureOf(folder.path()).rfind("NVX_CA_FILE: ", 0), 0u);

    const auto certificates = testing::TestCertificates::make("Центр");
    // A key is PEM too, but no authority; an empty file and a broken
    // certificate are neither.
    for (const std::string& text : {std::string(), certificates.serverKeyPEM(), std::string("not a certificate\n"),
                                    certificates.authorityPEM().substr(0, 200)}) {
        writeFileAtomically(folder.path() / "ca.pem", text);
        EXPECT_EQ(failureOf(folder.path() / "ca.pem"), "NVX_CA_FILE: в файле «" + (folder.path() / "ca.pem").string() +
                                                           "» нет ни одного сертификата в формате PEM.");
    }
}

}  // namespace
}  // namespace nvx
