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

}  // namespace
}  // namespace nvx
