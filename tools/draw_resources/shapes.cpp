#include "shapes.h"

#include <QTransform>

#include <cmath>
#include <numbers>

namespace nvx::drawing {

QPainterPath tuftedBlob(QPointF centre, double rx, double ry, int tufts, double depth,
                        double rotation, double phase) {
    const double step = 2.0 * std::numbers::pi / tufts;
    auto at = [&](double angle, double scale) {
        return QPointF(std::cos(angle) * rx * scale, std::sin(angle) * ry * scale);
    };
    QPainterPath path;
    path.moveTo(at(phase, 1.0));
    for (int i = 0; i < tufts; ++i) {
        const double a = phase + i * step;
        // The control point sits beyond the rim, half-way to the next base
        // point, so each segment bulges out into one tuft.
        path.quadTo(at(a + step * 0.5, 1.0 + depth * 2.0), at(a + step, 1.0));
    }
    path.closeSubpath();
    QTransform transform;
    transform.translate(centre.x(), centre.y());
    transform.rotate(rotation);
    return transform.map(path);
}

QPainterPath turnedRoundedRect(QPointF centre, double width, double height, double radius,
                               double rotation) {
    QPainterPath path;
    path.addRoundedRect(QRectF(-width / 2, -height / 2, width, height), radius, radius);
    QTransform transform;
    transform.translate(centre.x(), centre.y());
    transform.rotate(rotation);
    return transform.map(path);
}

}  // namespace nvx::drawing
