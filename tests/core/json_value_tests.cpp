#include <cmath>
#include <limits>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "core/errors.h"
#include "core/json_value.h"

namespace nvx {
namespace {

TEST(JSONValue, ReadsEveryCaseInItsOrderAndRoundTrips) {
    const auto value = JSONValue::parse(R"({"list": [1, true, "text", null, {"x": 2.5}]})");
    const JSONValue expected(JSONValue::Object{
        {"list", JSONValue::Array{JSONValue(1.0), JSONValue(true), JSONValue("text"), JSONValue(),
                                  JSONValue(JSONValue::Object{{"x", JSONValue(2.5)}})}}});
    EXPECT_EQ(value, expected);
    EXPECT_EQ(JSONValue::fromJSON(value.toJSON()), value);
}

TEST(JSONValue, BooleansAndNumbersNeverMix) {
    const auto one = JSONValue::parse("1");
    const auto yes = JSONValue::parse("true");
    EXPECT_EQ(one.kind(), JSONValue::Kind::number);
    EXPECT_EQ(yes.kind(), JSONValue::Kind::boolean);
    EXPECT_NE(one, yes);
    EXPECT_NE(JSONValue("1"), JSONValue(1.0));
    EXPECT_EQ(JSONValue::parse("0").kind(), JSONValue::Kind::number);
}

TEST(JSONValue, EmptyObjectAndEmptyArrayDiffer) {
    const auto object = JSONValue::parse("{}");
    const auto array = JSONValue::parse("[]");
    ASSERT_NE(object.object(), nullptr);
    ASSERT_NE(array.array(), nullptr);
    EXPECT_TRUE(object.object()->empty());
    EXPECT_TRUE(array.array()->empty());
    EXPECT_NE(object, array);
}

TEST(JSONValue, LargeIntegersAreHeldAsTheNearestDouble) {
    // 2^53 + 1 is not representable; both texts read as 2^53.
    EXPECT_EQ(JSONValue::parse("9007199254740993"), JSONValue::parse("9007199254740992"));
    EXPECT_EQ(*JSONValue::parse("18446744073709551615").number(), 18446744073709551616.0);
    EXPECT_EQ(*JSONValue::parse("-5").number(), -5.0);
}

TEST(JSONValue, NotANumberIsUnequalToItselfAndCannotBeWritten) {
    const JSONValue nan(std::numeric_limits<double>::quiet_NaN());
    EXPECT_NE(nan, nan);
    const JSONValue nested(JSONValue::Array{JSONValue(JSONValue::Object{{"deep", nan}})});
    EXPECT_THROW(nested.toJSON(), EncodingError);
    EXPECT_THROW(JSONValue(std::numeric_limits<double>::infinity()).toJSON(), EncodingError);
}

TEST(JSONValue, MalformedTextIsAParseError) {
    EXPECT_THROW(JSONValue::parse("{\"a\": }"), ParseError);
    EXPECT_THROW(JSONValue::parse(""), ParseError);
}

}  // namespace
}  // namespace nvx
