#include "model_catalog.h"

#include "errors.h"
#include "files.h"
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
        if (!updated->is_string() || !models->is_array()) return std::nullopt;
        ModelCatalog catalog;
        // By the report's own integer rules: 1.0 is a version, 2^63 is none.
        catalog.version = readIntegerValue(*version, "version");
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

// Far above any real catalog; a larger file is no catalog of ours.
constexpr std::size_t maximumCatalogBytes = 16u * 1024u * 1024u;

std::optional<ModelCatalog> loadSharedCatalog() {
    const auto path = resourcePath("models", "json");
    if (path.empty()) return std::nullopt;
    try {
        return ModelCatalog::decode(readWholeFile(path, maximumCatalogBytes));
    } catch (const FileSystemError&) {
        return std::nullopt;
    }
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
