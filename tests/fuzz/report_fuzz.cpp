// Report documents come from draft files and from the depot's answers.
// Promise: decoding never crashes and fails only with ReportDecodingError;
// whatever decodes encodes, and the encoding decodes to an equal report.
// The same for loose JSON values (the inventory tree).

#include "core/errors.h"
#include "core/json_value.h"
#include "core/report.h"
#include "core/report_json.h"
#include "fuzz_support.h"

using namespace nvx;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes = fuzz::bytesOf(data, size);

    std::optional<RunReport> report;
    try {
        report = RunReport::decode(bytes);
    } catch (const ReportDecodingError&) {
    }
    if (report) {
        std::string encoded;
        try {
            encoded = report->data();
        } catch (const EncodingError& error) {
            // A decoded report holds only finite numbers and UTF-8 text.
            fuzz::brokenPromise("a decoded report encodes", error.what());
        }
        std::optional<RunReport> again;
        try {
            again = RunReport::decode(encoded);
        } catch (const ReportDecodingError& error) {
            fuzz::brokenPromise("an encoded report decodes", error.what());
        }
        fuzz::require(*again == *report, "a report survives encoding unchanged", encoded);
        fuzz::require(again->data() == encoded, "encoding is stable", encoded);
    }

    std::optional<JSONValue> value;
    try {
        value = JSONValue::parse(bytes);
    } catch (const ParseError&) {
    }
    if (value) {
        nlohmann::json tree;
        try {
            tree = value->toJSON();
        } catch (const EncodingError& error) {
            fuzz::brokenPromise("a parsed value converts back", error.what());
        }
        fuzz::require(JSONValue::fromJSON(tree) == *value, "a value survives conversion unchanged");
    }
    return 0;
}
