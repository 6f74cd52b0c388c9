// Documents from disk or the network may nest arbitrarily deep. Every reader
// refuses more than maximumNestingDepth levels with a readable error, and
// every walk over what they accept stays within a small stack.

#include <pthread.h>

#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "core/errors.h"
#include "core/json_nesting.h"
#include "core/json_text.h"
#include "core/json_value.h"
#include "core/model_catalog.h"
#include "core/report.h"
#include "core/report_json.h"
#include "support/sample_reports.h"

namespace nvx {
namespace {

std::string nestedArrays(std::size_t levels) {
    return std::string(levels, '[') + std::string(levels, ']');
}

// Built by moving, never copying: a copy recurses once per level.
JSONValue nestedValue(std::size_t levels) {
    JSONValue value = JSONValue::Array{};
    for (std::size_t i = 1; i < levels; ++i) {
        JSONValue::Array outer;
        outer.push_back(std::move(value));
        value = JSONValue(std::move(outer));
    }
    return value;
}

// Runs `work` on a thread with a stack of `bytes`, far below the usual 8 MiB:
// a walk that recursed without bound would overflow it. AddressSanitizer's
// frames are several times larger, so its builds get more (gcc says so with
// __SANITIZE_ADDRESS__, clang through __has_feature).
#if defined(__SANITIZE_ADDRESS__)
#define NVX_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define NVX_ADDRESS_SANITIZER 1
#endif
#endif
void onSmallStack(std::size_t bytes, const std::function<void()>& work) {
#if defined(NVX_ADDRESS_SANITIZER)
    bytes *= 8;
#endif
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, bytes);
    pthread_t thread;
    auto call = [](void* argument) -> void* {
        (*static_cast<const std::function<void()>*>(argument))();
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attributes, call, const_cast<std::function<void()>*>(&work)), 0);
    pthread_attr_destroy(&attributes);
    pthread_join(thread, nullptr);
}

std::string decodingError(const std::string& text) {
    try {
        RunReport::decode(text);
    } catch (const ReportDecodingError& error) {
        return error.what();
    }
    return {};
}

TEST(JSONNesting, CountsBracketsOutsideStringsOnly) {
    EXPECT_FALSE(firstTooDeepByte(nestedArrays(3), 3));
    EXPECT_EQ(firstTooDeepByte(nestedArrays(4), 3), 3u);
    EXPECT_EQ(firstTooDeepByte(R"({"a": [{"b": []}]})", 3), 13u);
    // Brackets in strings, escaped quotes included, are text.
    EXPECT_FALSE(firstTooDeepByte(R"(["[[[[", "\"[[[[", "\\", [[]]])", 3));
    EXPECT_EQ(firstTooDeepByte(R"(["\\", [[[]]]])", 3), 9u);
    // Closing more than was opened does not buy depth.
    EXPECT_EQ(firstTooDeepByte("]]]][[[[", 3), 7u);
}

TEST(JSONNesting, AReportAtTheLimitReadsBackAndOneLevelMoreIsRefusedWithItsPlace) {
    // The document is one level around its inventory.
    const std::string atLimit = testing::reportTextWithNestedInventory(maximumNestingDepth - 1);
    const RunReport report = RunReport::decode(atLimit);
    EXPECT_EQ(report.id, testing::sampleReport().id);

    const std::string beyond = testing::reportTextWithNestedInventory(maximumNestingDepth);
    const std::size_t place = beyond.find('[') + maximumNestingDepth - 1;
    EXPECT_EQ(decodingError(beyond),
              "Не удалось прочитать опись: вложенность массивов и объектов глубже 512 "
              "уровней (около байта " +
                  std::to_string(place) + ").");
    // Outside the inventory the same limit holds.
    std::string deepSystem = testing::sampleReport().data();
    deepSystem.replace(deepSystem.find("\"system\": {") + 10, 0, "[" + nestedArrays(600) + ", ");
    EXPECT_NE(decodingError(deepSystem).find("глубже 512 уровней"), std::string::npos);
}

TEST(JSONNesting, HostileDepthsFailQuicklyInEveryReader) {
    // A million levels: two megabytes that used to exhaust any stack.
    const std::string report = testing::reportTextWithNestedInventory(1'000'000);
    EXPECT_NE(decodingError(report).find("глубже 512 уровней"), std::string::npos);
    const std::string bare = nestedArrays(1'000'000);
    try {
        JSONValue::parse(bare);
        FAIL();
    } catch (const ParseError& error) {
        EXPECT_STREQ(error.what(),
                     "Данные JSON не приняты: вложенность массивов и объектов глубже 512 уровней (около байта 512).");
    }
    EXPECT_THROW(parseJSONText(bare), ParseError);
    const std::string catalog = R"({"version": 1, "updated_at": "2026", "models": [], "x": )" + bare + "}";
    EXPECT_FALSE(ModelCatalog::decode(catalog));
    EXPECT_TRUE(
        ModelCatalog::decode(R"({"version": 1, "updated_at": "2026", "models": [], "x": )" + nestedArrays(100) + "}"));
}

TEST(JSONNesting, WalksOverTheDeepestAcceptedTreeStayOnASmallStack) {
    const std::string text = testing::reportTextWithNestedInventory(maximumNestingDepth - 1);
    onSmallStack(1024 * 1024, [&] {
        const RunReport decoded = RunReport::decode(text);
        const RunReport copy = decoded;  // NOLINT: copying is one of the walks
        EXPECT_EQ(copy, decoded);
        EXPECT_EQ(JSONValue::fromJSON(decoded.inventory.toJSON()), decoded.inventory);
        EXPECT_EQ(RunReport::decode(decoded.data()), decoded);
    });
    // One level more than any reader takes is never written.
    RunReport tooDeep = testing::sampleReport();
    tooDeep.inventory = nestedValue(maximumNestingDepth);
    EXPECT_THROW(tooDeep.data(), EncodingError);
}

TEST(JSONNesting, TreesBuiltInCodeAreCopiedComparedAndDestroyedAtAnyDepthAndRefusedByWriters) {
    onSmallStack(256 * 1024, [] {
        JSONValue deep = nestedValue(200'000);
        EXPECT_THROW(deep.toJSON(), EncodingError);
        const JSONValue copy = deep;
        EXPECT_EQ(copy, deep);
        JSONValue different = nestedValue(200'000);
        const JSONValue::Array* innermost = different.array();
        while (!innermost->front().array()->empty()) innermost = innermost->front().array();
        const_cast<JSONValue::Array*>(innermost)->front() = JSONValue(JSONValue::Array{JSONValue(false)});
        EXPECT_NE(different, deep);
        EXPECT_NE(nestedValue(1'000), nestedValue(1'001));
        deep = copy;
        JSONValue::Object members;
        members.emplace("a", nestedValue(200'000));
        members.emplace("b", JSONValue(1.5));
        JSONValue mixed(std::move(members));
        mixed = JSONValue("replaced");  // the old tree goes the same way
        EXPECT_EQ(*mixed.string(), "replaced");
    });
    EXPECT_NO_THROW(nestedValue(maximumNestingDepth).toJSON());
    EXPECT_THROW(nestedValue(maximumNestingDepth + 1).toJSON(), EncodingError);
}

}  // namespace
}  // namespace nvx
