#pragma once

#include <QImage>
#include <QString>

#include <functional>
#include <vector>

namespace nvx::drawing {

// One of our own illustrations of a computer family, drawn at twice the
// size the window shows it.
struct DeviceDrawing {
    QString file;  // name inside device-images/
    std::function<QImage()> draw;
};

// Laptop, all-in-one desktop, mini, tower and studio.
std::vector<DeviceDrawing> deviceDrawings();

}  // namespace nvx::drawing
