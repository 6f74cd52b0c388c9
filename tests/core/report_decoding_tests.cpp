#include <functional>
#include <limits>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "core/report.h"
#include "core/json_text.h"
#include "core/json_value.h"
#include "core/report_json.h"
#include "support/sample_reports.h"

namespace nvx {
namespace {

using nlohmann::json;

json sampleDocument() {
    return json::parse(testing::sampleReport().data());
}

// Decodes a changed copy of the sample document and returns the error text,
// or "" when it decoded.
std::string decodingError(const std::function<void(json&)>& change) {
    json document = sampleDocument();
    change(document);
    try {
        RunReport::decode(document.dump());
        return "";
    } catch (const ReportDecodingError& error) {
        return error.what();
    }
}

TEST(ReportDecoding, EveryRequiredKeyMustBePresentEvenWithADefault) {
    for (const char* key : {"schema_version", "benchmark_version", "name", "owner", "location", "metrics", "completed",
                            "id", "device_id", "created_at", "system", "inventory", "warnings"}) {
        const auto message = decodingError([key](json& d) { d.erase(key); });
        EXPECT_EQ(message, std::string("Не удалось прочитать опись: нет обязательного поля «") + key + "».");
    }
    EXPECT_EQ(decodingError([](json& d) { d["system"].erase("os"); }),
              "Не удалось прочитать опись: нет обязательного поля «system.os».");
}

TEST(ReportDecoding, WrongTypeNamesThePathAndTheExpectation) {
    EXPECT_EQ(decodingError([](json& d) {
                  d["metrics"] = json::array({d["metrics"][0], d["metrics"][1], d["metrics"][0]});
                  d["metrics"][2]["value"] = "fast";
              }),
              "Не удалось прочитать опись: значение «metrics[2].value» должно быть числом.");
    EXPECT_EQ(decodingError([](json& d) { d["completed"] = 1; }),
              "Не удалось прочитать опись: значение «completed» должно быть логическим значением true или false.");
    EXPECT_EQ(decodingError([](json& d) { d["system"]["disks"][1]["bytes"] = -1; }),
              "Не удалось прочитать опись: значение «system.disks[1].bytes» должно быть целым неотрицательным числом.");
    EXPECT_EQ(decodingError([](json& d) { d["metrics"][0]["parameters"]["rounds"] = 3; }),
              "Не удалось прочитать опись: значение «metrics[0].parameters.rounds» должно быть строкой.");
    EXPECT_EQ(decodingError([](json& d) { d["warnings"] = "нет"; }),
              "Не удалось прочитать опись: значение «warnings» должно быть массивом.");
}

TEST(ReportDecoding, NullIsAbsentForOptionalsAndRefusedForRequired) {
    json document = sampleDocument();
    document["description"] = nullptr;
    document["system"]["disks"][0]["internal"] = nullptr;
    const auto report = RunReport::decode(document.dump());
    EXPECT_FALSE(report.description.has_value());
    EXPECT_FALSE(report.system.disks->at(0).internal.has_value());
    EXPECT_EQ(json::parse(report.data()).count("description"), 0u);

    EXPECT_EQ(decodingError([](json& d) { d["name"] = nullptr; }),
              "Не удалось прочитать опись: поле «name» не может быть null.");
}

TEST(ReportDecoding, IntegersMustBeWholeAndFit) {
    EXPECT_NE(decodingError([](json& d) { d["schema_version"] = 2.5; }), "");
    EXPECT_NE(decodingError([](json& d) { d["system"]["memory_bytes"] = -5; }), "");
    EXPECT_NE(decodingError([](json& d) { d["system"]["logical_cores"] = 1e30; }), "");
    EXPECT_NE(decodingError([](json& d) { d["system"]["logical_cores"] = 9223372036854775808ULL; }), "");
    // A whole number written with a fraction still is that integer.
    EXPECT_EQ(decodingError([](json& d) { d["schema_version"] = 7.0; }), "");
    EXPECT_EQ(decodingError([](json& d) { d["system"]["memory_bytes"] = 18446744073709551615ULL; }), "");
}

// 2^63 and 2^64 written as floats lie just outside the types; converting them
// anyway would be undefined. -2^63 is the smallest integer itself.
TEST(ReportDecoding, FloatsAtTheEdgesOfTheIntegerTypes) {
    EXPECT_NE(decodingError([](json& d) { d["schema_version"] = 9223372036854775808.0; }), "");
    EXPECT_NE(decodingError([](json& d) { d["system"]["physical_cores"] = 9223372036854775808.0; }), "");
    EXPECT_NE(decodingError([](json& d) { d["system"]["memory_bytes"] = 18446744073709551616.0; }), "");
    json document = sampleDocument();
    document["schema_version"] = -9223372036854775808.0;
    EXPECT_EQ(RunReport::decode(document.dump()).schema_version, std::numeric_limits<std::int64_t>::min());
}

TEST(ReportDecoding, AcceptsWhateverIsOnlyOddInValue) {
    json document = sampleDocument();
    document["schema_version"] = 99;
    document["metrics"] = json::array();
    document["name"] = "";
    document["unknown_key"] = {{"nested", true}};
    document["system"]["future_field"] = 1;
    document["inventory"] = nullptr;
    const auto report = RunReport::decode(document.dump());
    EXPECT_EQ(report.schema_version, 99);
    EXPECT_TRUE(report.metrics.empty());
    EXPECT_TRUE(report.inventory.isNull());
}

TEST(ReportDecoding, DocumentMustBeAJSONObject) {
    EXPECT_THROW(RunReport::decode("[]"), ReportDecodingError);
    try {
        RunReport::decode("{\"id\": ");
        FAIL();
    } catch (const ReportDecodingError& error) {
        EXPECT_NE(std::string(error.what()).find("не являются корректным JSON"), std::string::npos);
    }
}

// A number past a double's range would be read as an infinity, which no
// writer takes back: it is malformed input, in any of the JSON readers.
TEST(ReportDecoding, NumbersBeyondADoublesRangeAreMalformed) {
    std::string text = testing::sampleReport().data();
    const std::string valueKey = "\"value\": ";
    const auto at = text.find(valueKey);
    ASSERT_NE(at, std::string::npos);
    text.insert(at + valueKey.size(), "1e400, \"x\": ");
    try {
        RunReport::decode(text);
        FAIL() << "an out-of-range number decoded";
    } catch (const ReportDecodingError& error) {
        EXPECT_NE(std::string(error.what()).find("число выходит за пределы допустимого диапазона"), std::string::npos)
            << error.what();
    }
    // Inside the inventory, which the reader builds apart from the rest.
    std::string inInventory = sampleDocument().dump();
    const std::string inventoryKey = "\"inventory\":{";
    inInventory.insert(inInventory.find(inventoryKey) + inventoryKey.size(), "\"n\":-1e999,");
    EXPECT_THROW(RunReport::decode(inInventory), ReportDecodingError);

    for (const char* text : {"[1e400]", "{\"a\": -1e309}", "1E+99999"}) {
        EXPECT_THROW(parseJSONText(text), ParseError) << text;
        EXPECT_THROW(JSONValue::parse(text), ParseError) << text;
    }
    // The largest and smallest doubles are numbers like any other.
    EXPECT_EQ(JSONValue::parse("[1.7976931348623157e308, 5e-324, 1e-400]"),
              JSONValue(JSONValue::Array{1.7976931348623157e308, 5e-324, 0.0}));
}

}  // namespace
}  // namespace nvx
