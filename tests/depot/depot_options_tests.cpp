#include <gtest/gtest.h>

#include "depot/depot_options.h"

namespace nvx::depot {
namespace {

std::optional<std::string> homeOnly(const char* name) {
    if (std::string(name) == "HOME") return "/home/anna";
    return std::nullopt;
}
std::optional<std::string> withXDG(const char* name) {
    if (std::string(name) == "XDG_DATA_HOME") return "/data";
    return homeOnly(name);
}
std::optional<std::string> withDataDir(const char* name) {
    if (std::string(name) == "NVX_DATA_DIR") return "/srv/nvx";
    return withXDG(name);
}
std::optional<std::string> nothing(const char*) { return std::nullopt; }

TEST(DepotOptions, DefaultsToTheLocalPortAndTheDataFolder) {
    const DepotOptions options = parseDepotOptions({}, homeOnly);
    EXPECT_EQ(options.host, "127.0.0.1");
    EXPECT_EQ(options.port, 8916);
    EXPECT_EQ(options.database, "/home/anna/.local/share/NVX Depotrium/depot.sqlite");
    EXPECT_EQ(parseDepotOptions({}, withXDG).database, "/data/NVX Depotrium/depot.sqlite");
    EXPECT_EQ(parseDepotOptions({}, withDataDir).database, "/srv/nvx/depot.sqlite");
    EXPECT_THROW(parseDepotOptions({}, nothing), UsageError);
    EXPECT_NO_THROW(parseDepotOptions({"--db", "x.sqlite"}, nothing));
}

TEST(DepotOptions, ReadsListenAddressesAndDatabasePaths) {
    DepotOptions options = parseDepotOptions({"--listen", "127.0.0.1:0", "--db", ".depot/depot.sqlite"}, nothing);
    EXPECT_EQ(options.port, 0);
    EXPECT_EQ(options.database, ".depot/depot.sqlite");
    options = parseDepotOptions({"--listen", "[::1]:9000"}, homeOnly);
    EXPECT_EQ(options.host, "::1");
    EXPECT_EQ(options.port, 9000);
    EXPECT_EQ(listeningAddress("::1", 9000), "http://[::1]:9000");
    EXPECT_EQ(listeningAddress("127.0.0.1", 8916), "http://127.0.0.1:8916");
    EXPECT_EQ(listeningAddress("0.0.0.0", 443, true), "https://0.0.0.0:443");
    EXPECT_TRUE(parseDepotOptions({"--help"}, nothing).help);
    EXPECT_TRUE(parseDepotOptions({"--hash-password"}, nothing).hashPassword);
}

TEST(DepotOptions, AnOpenAddressNeedsTLSOrAProxyInFront) {
    const DepotOptions secure = parseDepotOptions({"--listen", "0.0.0.0:443", "--tls-cert", "/etc/nvx/cert.pem",
                                                   "--tls-key", "/etc/nvx/key.pem", "--viewers", "/etc/nvx/viewers"},
                                                  homeOnly);
    EXPECT_TRUE(secure.secure());
    EXPECT_EQ(secure.tlsCertificate, "/etc/nvx/cert.pem");
    EXPECT_EQ(secure.tlsKey, "/etc/nvx/key.pem");
    EXPECT_EQ(secure.viewers, "/etc/nvx/viewers");
    EXPECT_TRUE(parseDepotOptions({"--listen", "[::]:8916", "--plain-http"}, homeOnly).plainHTTP);
    for (const char* local : {"127.0.0.1:8916", "127.0.0.2:1", "[::1]:8916", "localhost:8916"}) {
        EXPECT_NO_THROW(parseDepotOptions({"--listen", local}, homeOnly)) << local;
    }
    for (const char* open : {"0.0.0.0:8916", "192.0.2.7:8916", "[::]:8916", "depot.example:8916"}) {
        try {
            parseDepotOptions({"--listen", open}, homeOnly);
            ADD_FAILURE() << open;
        } catch (const UsageError& error) {
            EXPECT_NE(std::string(error.what()).find("без TLS"), std::string::npos) << error.what();
        }
    }
}

TEST(DepotOptions, TLSNeedsBothFilesAndExcludesPlainHTTP) {
    for (const auto& arguments :
         std::vector<std::vector<std::string>>{{"--tls-cert", "c.pem"},
                                               {"--tls-key", "k.pem"},
                                               {"--tls-cert", "c.pem", "--tls-key", "k.pem", "--plain-http"},
                                               {"--tls-cert", "", "--tls-key", "k.pem"},
                                               {"--viewers", ""},
                                               {"--viewers"}}) {
        EXPECT_THROW(parseDepotOptions(arguments, homeOnly), UsageError) << arguments.front();
    }
}

TEST(DepotOptions, RefusesWhatItCannotFollow) {
    for (const auto& arguments : std::vector<std::vector<std::string>>{{"--listen"},
                                                                        {"--listen", "8916"},
                                                                        {"--listen", ":8916"},
                                                                        {"--listen", "127.0.0.1:"},
                                                                        {"--listen", "127.0.0.1:65536"},
                                                                        {"--listen", "127.0.0.1:-1"},
                                                                        {"--listen", "127.0.0.1:80x"},
                                                                        {"--listen", "[::1:80"},
                                                                        {"--db", ""},
                                                                        {"--port", "80"}}) {
        EXPECT_THROW(parseDepotOptions(arguments, homeOnly), UsageError) << arguments.back();
    }
}

}  // namespace
}  // namespace nvx::depot
