#pragma once

#include <QImage>

namespace nvx::drawing {

// The pet's sprite sheet: 11 rows × 8 columns of 192 × 208 cells, one pose
// per row (0 idle, 1 walking right, 2 walking left, 3 happy hop, 4 content
// wag, 5 failed slump, 6 waiting, 7 frozen still, 8 sniffing, 9 alternate
// idle, 10 asleep, spare). `scale` 2 draws the same sheet at twice the
// size for high-density screens.
QImage drawBurkoSheet(int scale = 1);

}  // namespace nvx::drawing
