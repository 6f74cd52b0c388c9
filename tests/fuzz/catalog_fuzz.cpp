// The model catalog is a resource file a packager or user may replace.
// Promise: decoding never crashes or throws; a decoded catalog written out
// again decodes equal, and lookups find exactly the entries of that model.

#include "core/model_catalog.h"
#include "core/report_json.h"
#include "fuzz_support.h"

using namespace nvx;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::optional<ModelCatalog> catalog;
    try {
        catalog = ModelCatalog::decode(fuzz::bytesOf(data, size));
    } catch (...) {
        fuzz::brokenPromise("catalog decoding never throws");
    }
    if (!catalog) return 0;

    nlohmann::json document = {{"version", catalog->version}, {"updated_at", catalog->updated_at}};
    document["models"] = nlohmann::json::array();
    for (const auto& model : catalog->models) document["models"].push_back(toJSON(model));
    std::string text;
    try {
        text = document.dump();
    } catch (const nlohmann::json::type_error&) {
        fuzz::brokenPromise("a decoded catalog holds UTF-8 text only");
    }
    const auto again = ModelCatalog::decode(text);
    fuzz::require(again.has_value(), "a written catalog decodes", text);
    fuzz::require(again->version == catalog->version && again->updated_at == catalog->updated_at &&
                      again->models == catalog->models,
                  "a catalog survives writing unchanged", text);
    for (const auto& model : catalog->models) {
        const auto found = catalog->matches(model.identifier);
        std::size_t expected = 0;
        for (const auto& other : catalog->models) expected += other.identifier == model.identifier;
        fuzz::require(found.size() == expected, "lookup finds every entry of a model");
        for (const auto& match : found) fuzz::require(match.identifier == model.identifier, "lookup finds only that model");
    }
    return 0;
}
