#pragma once

#include <QImage>
#include <QString>

namespace nvx::drawing {

// Writes `image` as a maximally compressed PNG, reduced to an 8-bit palette
// when that keeps it faithful (drawings with few flat colours). Returns
// whether the file was written.
bool writePng(const QImage& image, const QString& path, bool reducePalette);

}  // namespace nvx::drawing
