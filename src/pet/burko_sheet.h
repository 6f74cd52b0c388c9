#pragma once

#include <QImage>
#include <QString>

#include <vector>

namespace nvx {

// The pet's frames: 11 rows of up to 8 images, cut from the sprite sheet.
using BurkoFrames = std::vector<std::vector<QImage>>;

// Cuts the sheet at `path` into cells of 192 × 208 pixels times `scale`,
// row by row from the top left; with `framesInRow`, only that many of each
// row. Empty when the file cannot be read or is not exactly 1536 × 2288
// pixels times `scale`.
BurkoFrames cutBurkoSheet(const QString& path, int scale = 1, int (*framesInRow)(int row) = nullptr);

// The frames of the bundled sheet ("burko.png" among the resources), cut
// once per process on first use and shared by every canvas.
const BurkoFrames& sharedBurkoFrames();

}  // namespace nvx
