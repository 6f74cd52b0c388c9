#include "report_json.h"

#include <cmath>
#include <limits>

#include "json_nesting.h"
#include "json_text.h"
#include "json_value_builder.h"

namespace nvx {

using nlohmann::json;

// ---- writing ---------------------------------------------------------------

json toJSON(const DiskSummary& disk) {
    json out = {{"id", disk.id},
                {"name", disk.name},
                {"bytes", disk.bytes},
                {"connection", disk.connection},
                {"volumes", disk.volumes}};
    if (disk.internal) out["internal"] = *disk.internal;
    if (disk.solid_state) out["solid_state"] = *disk.solid_state;
    return out;
}

json toJSON(const ModelMatch& match) {
    json out = {{"identifier", match.identifier},
                {"name", match.name},
                {"year", match.year},
                {"source", match.source}};
    if (match.chip_hint) out["chip_hint"] = *match.chip_hint;
    return out;
}

json toJSON(const Metric& metric) {
    json out = {{"id", metric.id},
                {"title", metric.title},
                {"unit", metric.unit},
                {"samples", metric.samples},
                {"status", metric.status},
                {"note", metric.note},
                {"parameters", json::object()},
                {"checksum", metric.checksum}};
    for (const auto& [key, value] : metric.parameters) out["parameters"][key] = value;
    if (metric.value) out["value"] = *metric.value;
    return out;
}

json toJSON(const SystemSummary& system) {
    json out = {{"model", system.model},
                {"chip", system.chip},
                {"memory_bytes", system.memory_bytes},
                {"logical_cores", system.logical_cores},
                {"physical_cores", system.physical_cores},
                {"os", system.os},
                {"architecture", system.architecture},
                {"gpu", system.gpu}};
    if (system.disks) {
        json disks = json::array();
        for (const auto& disk : *system.disks) disks.push_back(toJSON(disk));
        out["disks"] = std::move(disks);
    }
    if (system.model_matches) {
        json matches = json::array();
        for (const auto& match : *system.model_matches) matches.push_back(toJSON(match));
        out["model_matches"] = std::move(matches);
    }
    return out;
}

json toJSON(const RunReport& report) {
    json metrics = json::array();
    for (const auto& metric : report.metrics) metrics.push_back(toJSON(metric));
    json out = {{"schema_version", report.schema_version},
                {"benchmark_version", report.benchmark_version},
                {"id", report.id},
                {"device_id", report.device_id},
                {"created_at", report.created_at},
                {"name", report.name},
                {"owner", report.owner},
                {"location", report.location},
                {"system", toJSON(report.system)},
                {"inventory", report.inventory.toJSON()},
                {"warnings", report.warnings},
                {"metrics", std::move(metrics)},
                {"completed", report.completed}};
    if (report.description) out["description"] = *report.description;
    return out;
}

std::string RunReport::data() const {
    return encodeJSONText(toJSON(*this));
}

// ---- reading ---------------------------------------------------------------

namespace {

[[noreturn]] void fail(const std::string& detail) {
    throw ReportDecodingError("Не удалось прочитать опись: " + detail + ".");
}

std::string quoted(const std::string& path) {
    return "«" + (path.empty() ? std::string("документ") : path) + "»";
}

std::string child(const std::string& path, const char* key) {
    return path.empty() ? std::string(key) : path + "." + key;
}

std::string element(const std::string& path, std::size_t index) {
    return path + "[" + std::to_string(index) + "]";
}

[[noreturn]] void wrongType(const std::string& path, const char* expected) {
    fail("значение " + quoted(path) + " должно быть " + expected);
}

// Reads the fields of one JSON object. A required field must be present and
// not null; an optional one may be missing or null.
class ObjectReader {
public:
    ObjectReader(const json& value, std::string path) : path_(std::move(path)) {
        if (!value.is_object()) wrongType(path_, "объектом");
        object_ = &value;
    }

    const json& required(const char* key) const {
        auto found = object_->find(key);
        if (found == object_->end()) fail("нет обязательного поля " + quoted(child(path_, key)));
        if (found->is_null()) fail("поле " + quoted(child(path_, key)) + " не может быть null");
        return *found;
    }

    const json* optional(const char* key) const {
        auto found = object_->find(key);
        if (found == object_->end() || found->is_null()) return nullptr;
        return &*found;
    }

    std::string path(const char* key) const { return child(path_, key); }

    std::string text(const char* key) const { return readText(required(key), path(key)); }
    bool flag(const char* key) const { return readFlag(required(key), path(key)); }
    std::int64_t integer(const char* key) const { return readInteger(required(key), path(key)); }
    std::uint64_t unsignedInteger(const char* key) const { return readUnsigned(required(key), path(key)); }
    std::vector<std::string> texts(const char* key) const { return readTexts(required(key), path(key)); }

    std::optional<std::string> optionalText(const char* key) const {
        const json* value = optional(key);
        return value ? std::optional(readText(*value, path(key))) : std::nullopt;
    }
    std::optional<bool> optionalFlag(const char* key) const {
        const json* value = optional(key);
        return value ? std::optional(readFlag(*value, path(key))) : std::nullopt;
    }

    static std::string readText(const json& value, const std::string& path) {
        if (!value.is_string()) wrongType(path, "строкой");
        return value.get<std::string>();
    }

    static bool readFlag(const json& value, const std::string& path) {
        if (!value.is_boolean()) wrongType(path, "логическим значением true или false");
        return value.get<bool>();
    }

    static double readDouble(const json& value, const std::string& path) {
        if (!value.is_number()) wrongType(path, "числом");
        return value.get<double>();
    }

    static std::int64_t readInteger(const json& value, const std::string& path) {
        constexpr double limit = 9223372036854775808.0;  // 2^63
        if (value.is_number_integer() && !value.is_number_unsigned()) return value.get<std::int64_t>();
        if (value.is_number_unsigned()) {
            auto number = value.get<std::uint64_t>();
            if (number <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
                return static_cast<std::int64_t>(number);
        } else if (value.is_number_float()) {
            double number = value.get<double>();
            if (std::trunc(number) == number && number >= -limit && number < limit)
                return static_cast<std::int64_t>(number);
        }
        wrongType(path, "целым числом");
    }

    static std::uint64_t readUnsigned(const json& value, const std::string& path) {
        constexpr double limit = 18446744073709551616.0;  // 2^64
        if (value.is_number_unsigned()) return value.get<std::uint64_t>();
        if (value.is_number_float()) {
            double number = value.get<double>();
            if (std::trunc(number) == number && number >= 0 && number < limit)
                return static_cast<std::uint64_t>(number);
        }
        wrongType(path, "целым неотрицательным числом");
    }

    static const json& readArray(const json& value, const std::string& path) {
        if (!value.is_array()) wrongType(path, "массивом");
        return value;
    }

    static std::vector<std::string> readTexts(const json& value, const std::string& path) {
        std::vector<std::string> texts;
        const json& array = readArray(value, path);
        texts.reserve(array.size());
        for (std::size_t i = 0; i < array.size(); ++i) texts.push_back(readText(array[i], element(path, i)));
        return texts;
    }

private:
    const json* object_ = nullptr;
    std::string path_;
};

DiskSummary readDiskSummary(const json& value, const std::string& path) {
    ObjectReader reader(value, path);
    DiskSummary disk;
    disk.id = reader.text("id");
    disk.name = reader.text("name");
    disk.bytes = reader.unsignedInteger("bytes");
    disk.connection = reader.text("connection");
    disk.internal = reader.optionalFlag("internal");
    disk.solid_state = reader.optionalFlag("solid_state");
    disk.volumes = reader.texts("volumes");
    return disk;
}

Metric readMetric(const json& value, const std::string& path) {
    ObjectReader reader(value, path);
    Metric metric;
    metric.id = reader.text("id");
    metric.title = reader.text("title");
    if (const json* number = reader.optional("value")) metric.value = ObjectReader::readDouble(*number, reader.path("value"));
    metric.unit = reader.text("unit");
    const json& samples = ObjectReader::readArray(reader.required("samples"), reader.path("samples"));
    metric.samples.reserve(samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i)
        metric.samples.push_back(ObjectReader::readDouble(samples[i], element(reader.path("samples"), i)));
    metric.status = reader.text("status");
    metric.note = reader.text("note");
    const std::string parametersPath = reader.path("parameters");
    const json& parameters = reader.required("parameters");
    if (!parameters.is_object()) wrongType(parametersPath, "объектом");
    for (const auto& [key, text] : parameters.items())
        metric.parameters.emplace(key, ObjectReader::readText(text, parametersPath + "." + key));
    metric.checksum = reader.text("checksum");
    return metric;
}

SystemSummary readSystemSummary(const json& value, const std::string& path) {
    ObjectReader reader(value, path);
    SystemSummary system;
    system.model = reader.text("model");
    system.chip = reader.text("chip");
    system.memory_bytes = reader.unsignedInteger("memory_bytes");
    system.logical_cores = reader.integer("logical_cores");
    system.physical_cores = reader.integer("physical_cores");
    system.os = reader.text("os");
    system.architecture = reader.text("architecture");
    system.gpu = reader.texts("gpu");
    if (const json* disks = reader.optional("disks")) {
        const std::string disksPath = reader.path("disks");
        system.disks.emplace();
        const json& array = ObjectReader::readArray(*disks, disksPath);
        for (std::size_t i = 0; i < array.size(); ++i) system.disks->push_back(readDiskSummary(array[i], element(disksPath, i)));
    }
    if (const json* matches = reader.optional("model_matches")) {
        const std::string matchesPath = reader.path("model_matches");
        system.model_matches.emplace();
        const json& array = ObjectReader::readArray(*matches, matchesPath);
        for (std::size_t i = 0; i < array.size(); ++i)
            system.model_matches->push_back(readModelMatch(array[i], element(matchesPath, i)));
    }
    return system;
}

}  // namespace

ModelMatch readModelMatch(const json& value, const std::string& path) {
    ObjectReader reader(value, path);
    ModelMatch match;
    match.identifier = reader.text("identifier");
    match.name = reader.text("name");
    match.year = reader.text("year");
    match.source = reader.text("source");
    match.chip_hint = reader.optionalText("chip_hint");
    return match;
}

std::int64_t readIntegerValue(const json& value, const std::string& path) {
    return ObjectReader::readInteger(value, path);
}

namespace {

RunReport readRunReportWith(const json& value, const std::string& path, JSONValue* builtInventory);

}  // namespace

RunReport readRunReport(const json& value, const std::string& path) {
    return readRunReportWith(value, path, nullptr);
}

namespace {

// Reads the report; the inventory comes either from `value` itself or, when
// the parser built it separately, from `builtInventory` (null when the
// document had none).
RunReport readRunReportWith(const json& value, const std::string& path, JSONValue* builtInventory) {
    if (!value.is_object()) {
        if (path.empty()) fail("документ должен быть объектом JSON");
        wrongType(path, "объектом");
    }
    ObjectReader reader(value, path);
    RunReport report;
    report.schema_version = reader.integer("schema_version");
    report.benchmark_version = reader.text("benchmark_version");
    report.id = reader.text("id");
    report.device_id = reader.text("device_id");
    report.created_at = reader.text("created_at");
    report.name = reader.text("name");
    report.owner = reader.text("owner");
    report.location = reader.text("location");
    report.description = reader.optionalText("description");
    report.system = readSystemSummary(reader.required("system"), reader.path("system"));
    // Any JSON value is an inventory, null included, but the key must exist.
    auto inventory = value.find("inventory");
    if (inventory == value.end()) fail("нет обязательного поля " + quoted(reader.path("inventory")));
    report.inventory = builtInventory ? std::move(*builtInventory) : JSONValue::fromJSON(*inventory);
    report.warnings = reader.texts("warnings");
    const std::string metricsPath = reader.path("metrics");
    const json& metrics = ObjectReader::readArray(reader.required("metrics"), metricsPath);
    report.metrics.reserve(metrics.size());
    for (std::size_t i = 0; i < metrics.size(); ++i) report.metrics.push_back(readMetric(metrics[i], element(metricsPath, i)));
    report.completed = reader.flag("completed");
    return report;
}

// Turns the parser's events into a small document tree for everything but
// the top-level "inventory", whose value is built directly as a JSONValue.
class ReportDocumentBuilder {
public:
    json document;
    JSONValueBuilder inventory;
    bool hasInventory = false;
    std::size_t errorByte = 0;
    bool tooDeep = false;  // parsing stopped at a level beyond maximumNestingDepth
    bool outOfRange = false;  // parsing stopped at a number beyond a double's range

    bool null() { return routed([&] { return inventory.null(); }, [] { return json(); }); }
    bool boolean(bool value) {
        return routed([&] { return inventory.boolean(value); }, [&] { return json(value); });
    }
    bool number_integer(std::int64_t value) {
        return routed([&] { return inventory.number(static_cast<double>(value)); }, [&] { return json(value); });
    }
    bool number_unsigned(std::uint64_t value) {
        return routed([&] { return inventory.number(static_cast<double>(value)); }, [&] { return json(value); });
    }
    bool number_float(double value, const std::string&) {
        return routed([&] { return inventory.number(value); }, [&] { return json(value); });
    }
    bool string(std::string& value) {
        return routed([&] { return inventory.string(value); }, [&] { return json(std::move(value)); });
    }
    bool binary(json::binary_t&) { return false; }

    bool start_object(std::size_t) {
        if (!descend()) return false;
        if (enterInventory()) return inventory.startObject();
        stack_.push_back(place(json::object()));
        return true;
    }
    bool key(std::string& value) {
        if (inInventory_) return inventory.key(value);
        pendingKey_ = std::move(value);
        return true;
    }
    bool end_object() {
        --depth_;
        if (inInventory_) return leaveInventoryAfter(inventory.endObject());
        stack_.pop_back();
        return true;
    }
    bool start_array(std::size_t) {
        if (!descend()) return false;
        if (enterInventory()) return inventory.startArray();
        stack_.push_back(place(json::array()));
        return true;
    }
    bool end_array() {
        --depth_;
        if (inInventory_) return leaveInventoryAfter(inventory.endArray());
        stack_.pop_back();
        return true;
    }
    bool parse_error(std::size_t position, const std::string&, const nlohmann::detail::exception& error) {
        errorByte = position;
        // nlohmann reports a number beyond a double's range (1e400) as
        // out_of_range error 406 rather than as a syntax error.
        outOfRange = error.id == 406;
        return false;
    }

private:
    // Counts one more open level; stops the parser beyond the limit, before
    // anything of that level is built.
    bool descend() {
        if (++depth_ <= maximumNestingDepth) return true;
        tooDeep = true;
        return false;
    }

    // The next value belongs to the inventory when it is the value of the
    // root object's "inventory" member.
    bool enterInventory() {
        if (!inInventory_ && stack_.size() == 1 && stack_.back()->is_object() && pendingKey_ == "inventory") {
            inventory = JSONValueBuilder();
            // The skeleton keeps the key, so that the reader sees it exists.
            (*stack_.back())["inventory"] = nullptr;
            pendingKey_.clear();
            inInventory_ = true;
            hasInventory = true;
        }
        return inInventory_;
    }

    bool leaveInventoryAfter(bool result) {
        if (inventory.complete()) inInventory_ = false;
        return result;
    }

    template <typename ToInventory, typename MakeValue>
    bool routed(ToInventory toInventory, MakeValue makeValue) {
        if (enterInventory()) return leaveInventoryAfter(toInventory());
        place(makeValue());
        return true;
    }

    json* place(json value) {
        if (stack_.empty()) {
            document = std::move(value);
            return &document;
        }
        json& container = *stack_.back();
        if (container.is_array()) {
            container.push_back(std::move(value));
            return &container.back();
        }
        json& member = container[pendingKey_];
        member = std::move(value);
        pendingKey_.clear();
        return &member;
    }

    std::vector<json*> stack_;
    std::string pendingKey_;
    bool inInventory_ = false;
    std::size_t depth_ = 0;
};

}  // namespace

RunReport RunReport::decode(std::string_view bytes) {
    ReportDocumentBuilder builder;
    if (!json::sax_parse(bytes.begin(), bytes.end(), &builder)) {
        // The parser's events carry no position; find the offending bracket
        // by counting, which agrees with the parser on the text read so far.
        if (builder.tooDeep) fail(tooDeepDetail(firstTooDeepByte(bytes)));
        if (builder.outOfRange) fail(std::string("данные не приняты: ") + outOfRangeNumberDetail);
        fail("данные не являются корректным JSON (ошибка около байта " + std::to_string(builder.errorByte) + ")");
    }
    if (!builder.hasInventory) return readRunReport(builder.document);
    JSONValue inventory = builder.inventory.take();
    return readRunReportWith(builder.document, {}, &inventory);
}

}  // namespace nvx
