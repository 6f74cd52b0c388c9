#include "application_icon_drawing.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <utility>

namespace nvx::drawing {

namespace {

// Rounds to whole pixels below 48 px, where a half-covered pixel blurs an edge.
double snapped(double value, int size) {
    return size < 48 ? std::round(value) : value;
}

}  // namespace

QImage drawApplicationIcon(int size) {
    const QColor yellow(0xf2, 0xc2, 0x30);
    const QColor dark(0x29, 0x30, 0x2e);
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);

    // The tile fills the square less a small margin, as theme icons do.
    const double margin = snapped(size / 16.0, size);
    const QRectF tile(margin, margin, size - 2 * margin, size - 2 * margin);
    painter.setBrush(dark);
    painter.drawRoundedRect(tile, size * 0.18, size * 0.18);

    // The crate: the same proportions as the logo's mark.
    const double crateSide = tile.width() * 0.72;
    const QRectF crate(snapped(tile.center().x() - crateSide / 2, size),
                       snapped(tile.center().y() - crateSide / 2, size), snapped(crateSide, size),
                       snapped(crateSide, size));
    painter.setBrush(yellow);
    painter.drawRoundedRect(crate, crateSide * 0.17, crateSide * 0.17);

    const double unit = crate.width() / 104.0;
    const double railHeight = std::max(1.0, snapped(12 * unit, size));
    painter.setBrush(dark);
    for (const auto& [top, width] : {std::pair{22.0, 68.0}, {46.0, 44.0}, {70.0, 68.0}}) {
        const QRectF rail(snapped(crate.left() + 18 * unit, size), snapped(crate.top() + top * unit, size),
                          snapped(width * unit, size), railHeight);
        const double radius = size < 48 ? 0.0 : railHeight / 2;
        painter.drawRoundedRect(rail, radius, radius);
    }
    return image;
}

std::vector<int> applicationIconSizes() {
    return {16, 24, 32, 48, 64, 128, 256, 512};
}

}  // namespace nvx::drawing
