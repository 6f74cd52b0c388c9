#include "depot/fleet_export.h"

#include <cstdio>

#include <nlohmann/json.hpp>

#include "depot/fleet_metrics.h"

namespace nvx::depot {
namespace {

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

// A label typed by a person: never a formula in a spreadsheet.
std::string csvLabel(const std::string& text) {
    if (!text.empty() &&
        (text[0] == '=' || text[0] == '+' || text[0] == '-' || text[0] == '@' || text[0] == '\t' || text[0] == '\r'))
        return csvField("'" + text);
    return csvField(text);
}

std::string csvNumber(const std::optional<double>& value) {
    if (!value) return {};
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.17g", *value);
    return buffer;
}

}  // namespace

std::string csvHeader() {
    std::string header = "device_id,run_id,received_at,name,owner,location,model,chip,memory_bytes";
    for (const FleetMetric& metric : fleetMetrics) header += "," + std::string(metric.id);
    return header + "\r\n";
}

std::string csvRow(const RunSummary& run) {
    std::string row = csvLabel(run.deviceId) + "," + csvLabel(run.id) + "," + csvField(run.receivedAt) + "," +
                      csvLabel(run.name) + "," + csvLabel(run.owner) + "," + csvLabel(run.location) + "," +
                      csvLabel(run.model) + "," + csvLabel(run.chip) + "," + std::to_string(run.memoryBytes);
    for (const auto& value : run.metrics) row += "," + csvNumber(value);
    return row + "\r\n";
}

std::string jsonExportStart() {
    return "[\n";
}
std::string jsonExportSeparator() {
    return ",\n";
}
std::string jsonExportEnd() {
    return "\n]\n";
}

std::string jsonExportRow(const RunSummary& run) {
    nlohmann::ordered_json row = {{"device_id", run.deviceId}, {"run_id", run.id},   {"received_at", run.receivedAt},
                                  {"name", run.name},          {"owner", run.owner}, {"location", run.location},
                                  {"model", run.model},        {"chip", run.chip},   {"memory_bytes", run.memoryBytes}};
    nlohmann::ordered_json metrics = nlohmann::ordered_json::object();
    for (std::size_t index = 0; index < fleetMetricCount; ++index) {
        const auto& value = run.metrics[index];
        metrics[std::string(fleetMetrics[index].id)] =
            value ? nlohmann::ordered_json(*value) : nlohmann::ordered_json(nullptr);
    }
    row["metrics"] = std::move(metrics);
    // Labels are checked UTF-8 when a report is accepted; a stray byte from an
    // older record is replaced rather than ending the export.
    return row.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace nvx::depot
