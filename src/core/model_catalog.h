#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "report.h"

namespace nvx {

// The built-in catalog of known computer models, read once per process from
// the resource "models.json". A missing or broken file means no catalog, and
// lookups then find nothing.
struct ModelCatalog {
    std::int64_t version = 0;
    std::string updated_at;
    std::vector<ModelMatch> models;

    // The process-wide catalog (loaded on first use, thread-safe), or nullptr.
    static const ModelCatalog* shared();
    // Every entry whose identifier equals `identifier` exactly, in file order.
    static std::vector<ModelMatch> lookup(std::string_view identifier);

    // Reads a catalog document; nullopt when it is not a valid catalog.
    static std::optional<ModelCatalog> decode(std::string_view bytes);
    std::vector<ModelMatch> matches(std::string_view identifier) const;
};

}  // namespace nvx
