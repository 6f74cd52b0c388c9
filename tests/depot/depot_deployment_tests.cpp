// nvx-depot as an organisation deploys it, driven by the real depotrium:
// HTTPS under a private authority that clients add with NVX_CA_FILE,
// certificate renewal by SIGHUP, viewers, refusals at start, and documents
// nested deep enough to break a recursive reader.

#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>

#include <regex>

#include "core/files.h"
#include "support/child_process.h"
#include "support/sample_reports.h"
#include "support/scratch_folder.h"
#include "support/test_certificates.h"

namespace nvx {
namespace {

namespace fs = std::filesystem;
using testing::BackgroundProcess;
using testing::runProcess;
using testing::TestCertificates;

struct CertificateFiles {
    fs::path chain;
    fs::path key;
    fs::path authority;
};

// Written the way a renewal tool replaces them: each file whole at once.
CertificateFiles writeCertificates(const TestCertificates& certificates, const fs::path& folder) {
    CertificateFiles files{folder / "depot.pem", folder / "depot.key", folder / "authority.pem"};
    writeFileAtomically(files.chain, certificates.serverChainPEM());
    writeFileAtomically(files.key, certificates.serverKeyPEM());
    writeFileAtomically(files.authority, certificates.authorityPEM());
    return files;
}

class Deployment : public ::testing::Test {
protected:
    // Starts nvx-depot with `options`; returns the address it announced.
    std::string startDepot(std::vector<std::string> options) {
        std::vector<std::string> arguments = {NVX_DEPOT_BINARY, "--listen", "127.0.0.1:0", "--db",
                                              (folder.path() / "depot.sqlite").string()};
        arguments.insert(arguments.end(), options.begin(), options.end());
        depot = std::make_unique<BackgroundProcess>(arguments, R"(слушает (https?://[0-9.]+:[0-9]+))");
        return depot->match();
    }

    std::string port() const { return depot->match().substr(depot->match().rfind(':') + 1); }

    // depotrium --upload-check of the sample report; `authorities` is the
    // value of NVX_CA_FILE (empty: not set).
    testing::ProcessResult uploadCheck(const std::string& server, const std::string& authorities,
                                       const std::string& id = "sample") {
        RunReport report = testing::sampleReport();
        report.id = id;
        const fs::path file = folder.path() / (id + ".json");
        writeFileAtomically(file, report.data());
        return runProcess({NVX_DEPOTRIUM_BINARY, "--upload-check", "--server", server, "--report", file.string()}, {},
                          {"NVX_CA_FILE=" + authorities});
    }

    testing::ScratchFolder folder;
    std::unique_ptr<BackgroundProcess> depot;
};

TEST_F(Deployment, SelfTestSubmitsOverHTTPSTrustingTheOrganisationsAuthority) {
    // The server sends its intermediate along; clients know only the root.
    const auto files = writeCertificates(
        TestCertificates::make("NVX Org Root", {.serverName = "localhost", .intermediate = true}), folder.path());
    const std::string announced = startDepot({"--tls-cert", files.chain.string(), "--tls-key", files.key.string()});
    EXPECT_EQ(announced.rfind("https://", 0), 0u);
    const std::string server = "https://localhost:" + port();

    const auto selfTest = runProcess({NVX_DEPOTRIUM_BINARY, "--self-test", "--no-disk", "--output",
                                      (folder.path() / "self-test.json").string(), "--submit", server},
                                     {}, {"NVX_CA_FILE=" + files.authority.string()});
    EXPECT_EQ(selfTest.status, 0) << selfTest.err;
    EXPECT_TRUE(std::regex_search(selfTest.out, std::regex("SAVED " + server + R"(\?run=[0-9a-f-]{36})")))
        << selfTest.out;

    // Without the authority the system's store does not know the depot.
    const auto untrusted = uploadCheck(server, "");
    EXPECT_EQ(untrusted.status, 1);
    EXPECT_EQ(untrusted.err.rfind("UPLOAD CHECK ERROR: Не удалось связаться со складом: ", 0), 0u) << untrusted.err;
    EXPECT_EQ(std::count(untrusted.err.begin(), untrusted.err.end(), '\n'), 1);
    // An authority file that cannot be used is an error, not a silent default.
    for (const std::string& unusable : {(folder.path() / "missing.pem").string(), files.key.string()}) {
        const auto failed = uploadCheck(server, unusable);
        EXPECT_EQ(failed.status, 1);
        EXPECT_EQ(failed.err.rfind("UPLOAD CHECK ERROR: NVX_CA_FILE: ", 0), 0u) << failed.err;
    }
    EXPECT_EQ(uploadCheck(server, files.authority.string()).status, 0);
}

TEST_F(Deployment, ACertificateForAnotherNameIsRefused) {
    const auto files =
        writeCertificates(TestCertificates::make("NVX Org Root", {.serverName = "depot.example"}), folder.path());
    startDepot({"--tls-cert", files.chain.string(), "--tls-key", files.key.string()});
    for (const std::string host : {"localhost", "127.0.0.1"}) {
        const auto refused = uploadCheck("https://" + host + ":" + port(), files.authority.string());
        EXPECT_EQ(refused.status, 1) << host;
        EXPECT_NE(refused.err.find("UPLOAD CHECK ERROR: "), std::string::npos);
    }
}

TEST_F(Deployment, SIGHUPRenewsTheCertificateOnTheSameListener) {
    const fs::path live = folder.path() / "live";
    fs::create_directories(live);
    const auto files = writeCertificates(TestCertificates::make("Old Root"), live);
    startDepot({"--tls-cert", files.chain.string(), "--tls-key", files.key.string()});
    const std::string server = "https://localhost:" + port();
    const fs::path oldAuthority = folder.path() / "old-authority.pem";
    fs::copy_file(files.authority, oldAuthority);
    ASSERT_EQ(uploadCheck(server, oldAuthority.string(), "before").status, 0);

    // The renewal: new files from another authority, then SIGHUP.
    const auto renewed = writeCertificates(TestCertificates::make("New Root"), live);
    depot->sendSignal(SIGHUP);
    ASSERT_TRUE(depot->waitForOutput("сертификат и ключ перечитаны")) << depot->output();
    EXPECT_EQ(uploadCheck(server, renewed.authority.string(), "after").status, 0);
    EXPECT_EQ(uploadCheck(server, oldAuthority.string(), "after-old").status, 1);

    // A broken renewal keeps the certificate that works.
    writeFileAtomically(files.chain, "-----BEGIN CERTIFICATE-----\nnot base64\n-----END CERTIFICATE-----\n");
    depot->sendSignal(SIGHUP);
    ASSERT_TRUE(depot->waitForOutput("сертификат не перечитан, остаётся прежний")) << depot->output();
    EXPECT_EQ(uploadCheck(server, renewed.authority.string(), "still").status, 0);
    EXPECT_EQ(depot->stop(), 0);
}

TEST_F(Deployment, ViewersComeFromHashPasswordAndAreReadAgainOnSIGHUP) {
    const fs::path password = folder.path() / "password";
    writeFileAtomically(password, "пароль Анны\n");
    const auto hashed = runProcess({NVX_DEPOT_BINARY, "--hash-password"}, {}, {}, password.string());
    ASSERT_EQ(hashed.status, 0) << hashed.err;
    EXPECT_EQ(hashed.out.rfind("$scrypt$ln=15,r=8,p=1$", 0), 0u) << hashed.out;
    EXPECT_EQ(hashed.out.find("пароль"), std::string::npos);
    EXPECT_EQ(std::count(hashed.out.begin(), hashed.out.end(), '\n'), 1);
    EXPECT_EQ(runProcess({NVX_DEPOT_BINARY, "--hash-password"}).status, 2);  // nothing on standard input

    const fs::path viewers = folder.path() / "viewers";
    writeFileAtomically(viewers, "# склад отдела\nanna:" + hashed.out);
    startDepot({"--viewers", viewers.string()});
    httplib::Client client("127.0.0.1", std::stoi(port()));
    EXPECT_EQ(client.Get("/")->status, 401);
    client.set_basic_auth("anna", "пароль Анны");
    EXPECT_EQ(client.Get("/")->status, 200);

    writeFileAtomically(viewers, "boris:" + hashed.out);
    depot->sendSignal(SIGHUP);
    ASSERT_TRUE(depot->waitForOutput("файл зрителей перечитан, зрителей: 1")) << depot->output();
    EXPECT_EQ(client.Get("/")->status, 401);
    client.set_basic_auth("boris", "пароль Анны");
    EXPECT_EQ(client.Get("/")->status, 200);
}

TEST_F(Deployment, StartRefusesPlainHTTPOnOpenAddressesAndUnusableCertificates) {
    const std::string database = (folder.path() / "depot.sqlite").string();
    const auto open = runProcess({NVX_DEPOT_BINARY, "--listen", "0.0.0.0:0", "--db", database});
    EXPECT_EQ(open.status, 2);
    EXPECT_NE(open.err.find("без TLS"), std::string::npos) << open.err;
    // Behind a TLS proxy it is the operator's choice.
    EXPECT_NE(startDepot({"--listen", "0.0.0.0:0", "--plain-http"}).size(), 0u);
    EXPECT_EQ(depot->match().rfind("http://0.0.0.0:", 0), 0u) << depot->match();

    const auto first = TestCertificates::make("Root");
    const auto second = TestCertificates::make("Root");
    writeFileAtomically(folder.path() / "cert.pem", first.serverChainPEM());
    writeFileAtomically(folder.path() / "other.key", second.serverKeyPEM());
    const auto mismatched =
        runProcess({NVX_DEPOT_BINARY, "--listen", "127.0.0.1:0", "--db", database, "--tls-cert",
                    (folder.path() / "cert.pem").string(), "--tls-key", (folder.path() / "other.key").string()});
    EXPECT_EQ(mismatched.status, 1);
    EXPECT_NE(mismatched.err.find("не подходит к сертификату"), std::string::npos) << mismatched.err;
    const auto missing =
        runProcess({NVX_DEPOT_BINARY, "--listen", "127.0.0.1:0", "--db", database, "--tls-cert",
                    (folder.path() / "none.pem").string(), "--tls-key", (folder.path() / "other.key").string()});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("none.pem"), std::string::npos) << missing.err;
}

TEST_F(Deployment, DeeplyNestedReportsAreRefusedByBothPrograms) {
    const std::string server = startDepot({});
    // 100,000 levels in 200 KB used to crash the client's reader.
    const fs::path deep = folder.path() / "deep.json";
    writeFileAtomically(deep, testing::reportTextWithNestedInventory(100'000));
    const auto check =
        runProcess({NVX_DEPOTRIUM_BINARY, "--upload-check", "--server", server, "--report", deep.string()});
    EXPECT_EQ(check.status, 1);
    EXPECT_EQ(check.err.rfind("UPLOAD CHECK ERROR: Не удалось прочитать опись: вложенность массивов и объектов "
                              "глубже 512 уровней",
                              0),
              0u)
        << check.err;
    EXPECT_EQ(std::count(check.err.begin(), check.err.end(), '\n'), 1);

    // A million levels posted straight to the depot: refused, and it lives on.
    httplib::Client client("127.0.0.1", std::stoi(port()));
    const auto posted = client.Post("/api/runs", {{"X-NVX-Receipt-Key", std::string(64, 'a')}},
                                    testing::reportTextWithNestedInventory(1'000'000), "application/json");
    ASSERT_TRUE(posted);
    EXPECT_EQ(posted->status, 400);
    EXPECT_EQ(uploadCheck(server, "").status, 0);
    EXPECT_EQ(depot->stop(), 0);
}

}  // namespace
}  // namespace nvx
