#include "model_catalog.h"

#include <fstream>
#include <sstream>

#include "json_text.h"
#include "report_json.h"
#include "resources.h"

namespace nvx {

std::optional<ModelCatalog> ModelCatalog::decode(std::string_view bytes) {
    try {
        const nlohmann::json document = parseJSONText(bytes);
        if (!document.is_object()) return std::nullopt;
        const auto version = document.find("version");
        const auto updated = document.find("updated_at");
        const auto models = document.find("models");
        if (version == document.end() || updated == document.end() || models == document.end()) return std::nullopt;
        if (!version->is_number_integer() || !updated->is_string() || !models->is_array()) return std::nullopt;
        ModelCatalog catalog;
        catalog.version = version->get<std::int64_t>();
        catalog.updated_at = updated->get<std::string>();
        for (std::size_t i = 0; i < models->size(); ++i)
            catalog.models.push_back(readModelMatch((*models)[i], "models[" + std::to_string(i) + "]"));
        return catalog;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::vector<ModelMatch> ModelCatalog::matches(std::string_view identifier) const {
    std::vector<ModelMatch> found;
    for (const auto& model : models)
        if (model.identifier == identifier) found.push_back(model);
    return found;
}

namespace {

std::optional<ModelCatalog> loadSharedCatalog() {
    const auto path = resourcePath("models", "json");
    if (path.empty()) return std::nullopt;
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    std::ostringstream bytes;
    bytes << file.rdbuf();
    if (file.bad()) return std::nullopt;
    return ModelCatalog::decode(bytes.str());
}

}  // namespace

const ModelCatalog* ModelCatalog::shared() {
    // A function-local static is initialised exactly once, even when several
    // threads arrive together; a failed load is not retried.
    static const std::optional<ModelCatalog> catalog = loadSharedCatalog();
    return catalog ? &*catalog : nullptr;
}

std::vector<ModelMatch> ModelCatalog::lookup(std::string_view identifier) {
    const ModelCatalog* catalog = shared();
    return catalog ? catalog->matches(identifier) : std::vector<ModelMatch>{};
}

}  // namespace nvx
