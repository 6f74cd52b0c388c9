#pragma once

#include <QImage>
#include <QString>

#include <functional>
#include <vector>

namespace nvx::drawing {

// A line icon of the window: the three section icons for the sidebar
// (white), the placeholder computer of the model picture (muted) and the
// warning sign of the error line (rust).
struct IconDrawing {
    QString file;  // name inside icons/
    std::function<QImage()> draw;
};

std::vector<IconDrawing> iconDrawings();

}  // namespace nvx::drawing
