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
    EXPECT_TRUE(parseDepotOptions({"--help"}, nothing).help);
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
