#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "core/model_catalog.h"

namespace nvx {
namespace {

// The catalog the application ships, as the resource folder holds it.
ModelCatalog shippedCatalog() {
    const auto path = std::filesystem::path(NVX_TEST_FIXTURES) / ".." / ".." / "resources" / "models.json";
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    auto catalog = ModelCatalog::decode(bytes.str());
    if (!catalog) throw std::runtime_error("the shipped catalog does not decode: " + path.string());
    return *catalog;
}

std::vector<std::string> names(const std::vector<ModelMatch>& matches) {
    std::vector<std::string> found;
    for (const auto& match : matches) found.push_back(match.name + " / " + match.chip_hint.value_or("-"));
    return found;
}

TEST(ShippedModelCatalog, EveryEntryIsComplete) {
    const auto catalog = shippedCatalog();
    EXPECT_EQ(catalog.version, 1);
    EXPECT_EQ(catalog.updated_at, "2026-12-01");
    const std::regex identifier(R"((MacBook|MacBookAir|MacBookPro|iMac|iMacPro|Macmini|MacPro|Mac)\d+,\d+)");
    const std::regex year(R"(20(1[3-9]|2\d))");
    const std::regex chip(R"(Apple M\d( (Pro|Max|Ultra))?|Intel (Core|Xeon) .+)");
    std::set<std::pair<std::string, std::string>> seen;
    for (const auto& model : catalog.models) {
        SCOPED_TRACE(model.identifier + " " + model.name);
        EXPECT_TRUE(std::regex_match(model.identifier, identifier));
        EXPECT_TRUE(std::regex_match(model.year, year));
        EXPECT_NE(model.name.find(model.year.substr(2)), std::string::npos) << "the name carries its year";
        EXPECT_EQ(model.source.rfind("https://support.apple.com/", 0), 0u);
        ASSERT_TRUE(model.chip_hint.has_value());
        EXPECT_TRUE(std::regex_match(*model.chip_hint, chip));
        EXPECT_TRUE(seen.emplace(model.identifier, model.name).second) << "listed twice";
    }
}

TEST(ShippedModelCatalog, CoversEveryFamilyFrom2015On) {
    const auto catalog = shippedCatalog();
    for (const char* model :
         {"MacBook8,1", "MacBook10,1", "MacBookAir7,1", "MacBookAir10,1", "Mac16,13", "MacBookPro11,4",
          "MacBookPro16,4", "MacBookPro18,4", "Mac16,5", "iMac16,1", "iMacPro1,1", "iMac21,2", "Mac16,3", "Macmini8,1",
          "Mac16,11", "MacPro7,1", "Mac14,8", "Mac13,2", "Mac15,14"})
        EXPECT_FALSE(catalog.matches(model).empty()) << model;
    EXPECT_GE(catalog.models.size(), 90u);
}

TEST(ShippedModelCatalog, SharedIdentifiersListEveryModelInOrder) {
    const auto catalog = shippedCatalog();
    EXPECT_EQ(names(catalog.matches("MacBookAir7,2")),
              (std::vector<std::string>{"MacBook Air (13-inch, Early 2015) / Intel Core i5/i7",
                                        "MacBook Air (13-inch, 2017) / Intel Core i5/i7"}));
    EXPECT_EQ(names(catalog.matches("Mac14,8")),
              (std::vector<std::string>{"Mac Pro (2023) / Apple M2 Ultra", "Mac Pro (Rack, 2023) / Apple M2 Ultra"}));
    EXPECT_EQ(names(catalog.matches("MacBookPro18,3")),
              (std::vector<std::string>{"MacBook Pro (14-inch, 2021) / Apple M1 Pro"}));
    EXPECT_EQ(names(catalog.matches("Mac15,14")), (std::vector<std::string>{"Mac Studio (2025) / Apple M3 Ultra"}));
}

}  // namespace
}  // namespace nvx
