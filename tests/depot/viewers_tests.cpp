// Viewers: password hashes, the viewers file, Basic credentials and who may
// see the fleet-wide pages.

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include "core/files.h"
#include "depot/fleet_access.h"
#include "depot/password_hash.h"
#include "depot/viewers.h"
#include "support/scratch_folder.h"

namespace nvx::depot {
namespace {

// Cheap parameters keep the tests fast; the format carries them.
const ScryptParameters cheap{4, 8, 1};

std::string basic(const std::string& credentials) {
    std::string encoded(4 * ((credentials.size() + 2) / 3) + 1, '\0');
    encoded.resize(static_cast<std::size_t>(EVP_EncodeBlock(reinterpret_cast<unsigned char*>(encoded.data()),
                                                            reinterpret_cast<const unsigned char*>(credentials.data()),
                                                            static_cast<int>(credentials.size()))));
    return "Basic " + encoded;
}

TEST(PasswordHash, IsSaltedCarriesItsParametersAndNeverThePassword) {
    const std::string first = hashPassword("секрет и пробелы ", cheap);
    const std::string second = hashPassword("секрет и пробелы ", cheap);
    EXPECT_NE(first, second);  // a fresh salt each time
    EXPECT_EQ(first.rfind("$scrypt$ln=4,r=8,p=1$", 0), 0u) << first;
    EXPECT_EQ(first.find("секрет"), std::string::npos);
    const auto parsed = parsePasswordHash(first);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->parameters.logN, 4);
    EXPECT_TRUE(passwordMatches("секрет и пробелы ", *parsed));
    EXPECT_FALSE(passwordMatches("секрет и пробелы", *parsed));
    EXPECT_FALSE(passwordMatches("", *parsed));
    // The default is the slow one.
    EXPECT_EQ(hashPassword("x").rfind("$scrypt$ln=15,r=8,p=1$", 0), 0u);
}

TEST(PasswordHash, MalformedOrTooCostlyHashesAreNotAccepted) {
    const std::string good = hashPassword("pw", cheap);
    const std::string tail = good.substr(good.find("$", 8));
    for (const std::string& text : std::vector<std::string>{
             std::string(), "pw", "$pbkdf2$ln=4,r=8,p=1" + tail, "$scrypt$ln=4,r=8" + tail, "$scrypt$ln=4,r=8,p=1$",
             "$scrypt$ln=4,r=8,p=1$!!!!$AAAA", good.substr(0, good.size() - 20),
             // 2^20 × 8 × 128 bytes = 1 GiB for every page view: refused.
             "$scrypt$ln=20,r=8,p=1" + tail, "$scrypt$ln=0,r=8,p=1" + tail, "$scrypt$ln=x,r=8,p=1" + tail}) {
        EXPECT_FALSE(parsePasswordHash(text)) << text;
    }
}

TEST(Viewers, TheFileHoldsNamesAndHashesWithCommentsAndBlankLines) {
    const std::string text = "# зрители склада\n\nanna:" + hashPassword("пароль Анны", cheap) +
                             "\r\n  boris:" + hashPassword("b:with:colons", cheap) + "  \n";
    const auto viewers = ViewerList::parse(text, "viewers");
    EXPECT_EQ(viewers->size(), 2u);
    EXPECT_TRUE(viewers->admits(basic("anna:пароль Анны")));
    EXPECT_TRUE(viewers->admits(basic("anna:пароль Анны")));  // again, from memory
    EXPECT_TRUE(viewers->admits(basic("boris:b:with:colons")));
    EXPECT_TRUE(viewers->admits("basic  " + basic("boris:b:with:colons").substr(6)));
    for (const std::string& wrong :
         std::vector<std::string>{basic("anna:пароль"), basic("Anna:пароль Анны"), basic("boris:пароль Анны"),
                                  basic("nobody:x"), basic("anna"), "Bearer abc", "Basic !!!!", "", basic(":")}) {
        EXPECT_FALSE(viewers->admits(wrong)) << wrong;
    }
}

TEST(Viewers, AFileThatCannotBeUsedSaysWhereAndAReloadKeepsTheOldList) {
    const std::string hash = hashPassword("pw", cheap);
    const auto failure = [](const std::string& text) {
        try {
            ViewerList::parse(text, "viewers.txt");
        } catch (const ViewersFileError& error) {
            return std::string(error.what());
        }
        return std::string("(accepted)");
    };
    EXPECT_EQ(failure("# only comments\n"), "В файле зрителей «viewers.txt» нет ни одного зрителя.");
    EXPECT_EQ(failure("anna:" + hash + "\nboris " + hash + "\n"),
              "Файл зрителей «viewers.txt», строка 2: нужен вид имя:хеш.");
    EXPECT_NE(failure("anna:plain-password\n").find("строка 1: хеш пароля не распознан"), std::string::npos);
    EXPECT_NE(failure("anna:" + hash + "\nanna:" + hash + "\n").find("строка 2: зритель «anna» уже указан"),
              std::string::npos);

    testing::ScratchFolder folder;
    const auto file = folder.path() / "viewers";
    EXPECT_THROW(Viewers{file}, ViewersFileError);
    writeFileAtomically(file, "anna:" + hash + "\n");
    Viewers viewers(file);
    writeFileAtomically(file, "anna:broken\n");
    EXPECT_THROW(viewers.reload(), ViewersFileError);
    EXPECT_TRUE(viewers.current()->admits(basic("anna:pw")));
    writeFileAtomically(file, "boris:" + hash + "\n");
    viewers.reload();
    EXPECT_FALSE(viewers.current()->admits(basic("anna:pw")));
    EXPECT_TRUE(viewers.current()->admits(basic("boris:pw")));
}

TEST(FleetAccess, ViewersNeedCredentialsAndWithoutThemOnlyThisMachineLooks) {
    const auto viewers = ViewerList::parse("anna:" + hashPassword("pw", cheap), "viewers");
    httplib::Request request;
    request.remote_addr = "127.0.0.1";
    EXPECT_EQ(fleetAccess(request, nullptr), FleetAccess::granted);
    EXPECT_EQ(fleetAccess(request, viewers.get()), FleetAccess::credentialsNeeded);
    request.headers.emplace("Authorization", basic("anna:pw"));
    EXPECT_EQ(fleetAccess(request, viewers.get()), FleetAccess::granted);

    for (const char* local : {"127.0.0.1", "127.8.9.10", "::1", "::ffff:127.0.0.1"}) {
        httplib::Request from;
        from.remote_addr = local;
        EXPECT_EQ(fleetAccess(from, nullptr), FleetAccess::granted) << local;
    }
    for (const char* remote : {"192.0.2.7", "10.0.0.1", "::ffff:192.0.2.7", "2001:db8::1", ""}) {
        httplib::Request from;
        from.remote_addr = remote;
        EXPECT_EQ(fleetAccess(from, nullptr), FleetAccess::forbidden) << remote;
    }
    // Behind a proxy on this machine every visitor arrives from loopback.
    for (const char* header : {"X-Forwarded-For", "Forwarded", "X-Real-IP"}) {
        httplib::Request proxied;
        proxied.remote_addr = "127.0.0.1";
        proxied.headers.emplace(header, "192.0.2.7");
        EXPECT_EQ(fleetAccess(proxied, nullptr), FleetAccess::forbidden) << header;
    }
}

}  // namespace
}  // namespace nvx::depot
