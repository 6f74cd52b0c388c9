#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "json_value.h"

namespace nvx {

// The version of the benchmark set that produced a report's metrics.
inline constexpr const char* benchmarkVersion = "1.0.0";

// Record fields carry the report's JSON key names, so the code and the
// document read the same.

struct DiskSummary {
    std::string id;
    std::string name;
    std::uint64_t bytes = 0;
    std::string connection;
    std::optional<bool> internal;
    std::optional<bool> solid_state;
    std::vector<std::string> volumes;

    friend bool operator==(const DiskSummary&, const DiskSummary&) = default;
};

struct ModelMatch {
    std::string identifier;
    std::string name;
    std::string year;
    std::string source;
    std::optional<std::string> chip_hint;

    friend bool operator==(const ModelMatch&, const ModelMatch&) = default;
};

struct Metric {
    std::string id;
    std::string title;
    std::optional<double> value;
    std::string unit;
    std::vector<double> samples;
    std::string status;
    std::string note;
    std::map<std::string, std::string> parameters;
    std::string checksum;

    // The metric of a benchmark that did not run.
    static Metric skipped(std::string id, std::string title, std::string note);

    friend bool operator==(const Metric&, const Metric&) = default;
};

struct SystemSummary {
    std::string model;
    std::string chip;
    std::uint64_t memory_bytes = 0;
    std::int64_t logical_cores = 0;
    std::int64_t physical_cores = 0;
    std::string os;
    std::string architecture;
    std::vector<std::string> gpu;
    std::optional<std::vector<DiskSummary>> disks;
    std::optional<std::vector<ModelMatch>> model_matches;

    friend bool operator==(const SystemSummary&, const SystemSummary&) = default;
};

struct RunReport {
    std::int64_t schema_version = 1;
    std::string benchmark_version = nvx::benchmarkVersion;
    std::string id;
    std::string device_id;
    std::string created_at;
    std::string name;
    std::string owner;
    std::string location;
    std::optional<std::string> description;
    SystemSummary system;
    JSONValue inventory;
    std::vector<std::string> warnings;
    std::vector<Metric> metrics;
    bool completed = false;

    // Pretty-printed JSON with sorted keys. Throws EncodingError (and
    // produces nothing) when any double in the report is not finite.
    std::string data() const;

    // Reads a report from JSON bytes. Throws ReportDecodingError naming the
    // path of the first offending value.
    static RunReport decode(std::string_view bytes);

    // Equality is field by field; doubles compare as doubles, so a report
    // holding a not-a-number is unequal to itself.
    friend bool operator==(const RunReport&, const RunReport&) = default;
};

}  // namespace nvx

template <>
struct std::hash<nvx::ModelMatch> {
    std::size_t operator()(const nvx::ModelMatch& match) const noexcept;
};
