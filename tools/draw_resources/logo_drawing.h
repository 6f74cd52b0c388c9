#pragma once

#include <QImage>

namespace nvx::drawing {

// The yellow NVX mark for the dark sidebar, 330 × 136 pixels (shown at
// 165 × 68).
QImage drawLogo();

}  // namespace nvx::drawing
