#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "core/model_catalog.h"

namespace nvx {
namespace {

constexpr const char* catalogText = R"json({
  "version": 3, "updated_at": "2026-11-01",
  "models": [
    {"identifier": "Mac14,7", "name": "MacBook Pro (13-inch, M2, 2022)", "year": "2022", "source": "https://a", "chip_hint": "Apple M2"},
    {"identifier": "iMac20,1", "name": "iMac (Retina 5K, 27-inch, 2020)", "year": "2020", "source": "https://b"},
    {"identifier": "Mac14,7", "name": "duplicate entry", "year": "2022", "source": "https://c", "extra": 1}
  ]})json";

TEST(ModelCatalog, LookupIsExactCaseSensitiveAndKeepsFileOrder) {
    const auto catalog = ModelCatalog::decode(catalogText);
    ASSERT_TRUE(catalog);
    EXPECT_EQ(catalog->version, 3);
    const auto matches = catalog->matches("Mac14,7");
    ASSERT_EQ(matches.size(), 2u);
    EXPECT_EQ(matches[0].name, "MacBook Pro (13-inch, M2, 2022)");
    EXPECT_EQ(matches[1].name, "duplicate entry");
    EXPECT_FALSE(catalog->matches("imac20,1").size());
    EXPECT_FALSE(catalog->matches("Mac14").size());
    EXPECT_FALSE(catalog->matches(" Mac14,7").size());
    EXPECT_FALSE(catalog->matches("iMac20,1")[0].chip_hint.has_value());
}

TEST(ModelCatalog, AnyMissingOrMistypedRequiredKeyMeansNoCatalog) {
    EXPECT_FALSE(ModelCatalog::decode(R"({"version": 1, "models": []})"));
    EXPECT_FALSE(ModelCatalog::decode(R"({"version": "1", "updated_at": "x", "models": []})"));
    EXPECT_FALSE(ModelCatalog::decode(
        R"({"version": 1, "updated_at": "x", "models": [{"identifier": "a", "name": "b", "year": 2020, "source": "s"}]})"));
    EXPECT_FALSE(ModelCatalog::decode("not json"));
    const auto empty = ModelCatalog::decode(R"({"version": 1, "updated_at": "x", "models": []})");
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->matches("Mac14,7").empty());
}

// The version is an integer by the report's own rules.
TEST(ModelCatalog, VersionIsReadLikeAReportsIntegers) {
    const auto withVersion = [](const std::string& version) {
        return ModelCatalog::decode(R"({"version": )" + version + R"(, "updated_at": "x", "models": []})");
    };
    ASSERT_TRUE(withVersion("1.0"));
    EXPECT_EQ(withVersion("1.0")->version, 1);
    EXPECT_EQ(withVersion("9223372036854775807")->version, 9223372036854775807);
    EXPECT_FALSE(withVersion("9223372036854775808")) << "2^63 does not fit";
    EXPECT_FALSE(withVersion("18446744073709551615"));
    EXPECT_FALSE(withVersion("1.5"));
    EXPECT_FALSE(withVersion("true"));
}

// shared() loads once per process, so each case runs in a process of its own.
class SharedCatalog : public ::testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }

    // A resource folder holding `catalog` as models.json (none when empty).
    static std::filesystem::path resourceFolder(const std::string& catalog) {
        std::string pattern = (std::filesystem::temp_directory_path() / "nvx-catalog-test-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) std::exit(3);
        if (!catalog.empty()) std::ofstream(std::filesystem::path(pattern) / "models.json") << catalog;
        return pattern;
    }
};

TEST_F(SharedCatalog, LoadsModelsJsonFromTheResourceFolder) {
    EXPECT_EXIT(
        {
            const auto folder = resourceFolder(catalogText);
            ::setenv("NVX_RESOURCE_DIR", folder.c_str(), 1);
            const auto matches = ModelCatalog::lookup("Mac14,7");
            const ModelCatalog* shared = ModelCatalog::shared();
            std::filesystem::remove_all(folder);
            std::exit(matches.size() == 2 && matches[1].name == "duplicate entry" && shared && shared->version == 3 &&
                              ModelCatalog::lookup("iMac20,1").size() == 1
                          ? 0
                          : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(SharedCatalog, WithoutAResourceFileThereIsNoCatalog) {
    EXPECT_EXIT(
        {
            const auto folder = resourceFolder("");
            ::setenv("NVX_RESOURCE_DIR", folder.c_str(), 1);
            const bool absent = ModelCatalog::shared() == nullptr && ModelCatalog::lookup("Mac14,7").empty();
            std::filesystem::remove_all(folder);
            std::exit(absent ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

// Without NVX_RESOURCE_DIR the catalog is the one beside the executable (the
// build tree's resources folder).
TEST_F(SharedCatalog, FindsTheShippedCatalogBesideTheExecutable) {
    EXPECT_EXIT(
        {
            ::unsetenv("NVX_RESOURCE_DIR");
            std::exit(ModelCatalog::lookup("MacBookPro18,3").size() == 1 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace nvx
