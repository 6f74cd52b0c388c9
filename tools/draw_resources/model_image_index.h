#pragma once

#include <QJsonObject>

namespace nvx::drawing {

// The document model-images.json: {"images": {identifier: {"path", "source"}}},
// mapping every known model identifier of a family to our drawing of it.
QJsonObject modelImageIndex();

}  // namespace nvx::drawing
