#pragma once

#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

#include "errors.h"
#include "report.h"

namespace nvx {

// A report document that cannot be read. The description names the JSON path
// of the first offending value and what was expected there, in Russian.
class ReportDecodingError : public ParseError {
public:
    using ParseError::ParseError;
};

// The JSON form of each record: every field under its own key, absent
// optionals left out. Non-finite doubles are written as they are; the text
// encoder (encodeJSONText) refuses them.
nlohmann::json toJSON(const DiskSummary& disk);
nlohmann::json toJSON(const ModelMatch& match);
nlohmann::json toJSON(const Metric& metric);
nlohmann::json toJSON(const SystemSummary& system);
nlohmann::json toJSON(const RunReport& report);

// Readers for the records. `path` names the value in error messages, for
// example "system.disks[1]"; the empty path is the document itself.
RunReport readRunReport(const nlohmann::json& json, const std::string& path = {});
ModelMatch readModelMatch(const nlohmann::json& json, const std::string& path);
// A signed 64-bit integer field by the report's rules: a JSON number without a
// fractional part that fits the type (7.0 does, 2^63 does not).
std::int64_t readIntegerValue(const nlohmann::json& json, const std::string& path);

}  // namespace nvx
