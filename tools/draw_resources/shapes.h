#pragma once

#include <QPainterPath>
#include <QPointF>

namespace nvx::drawing {

// An ellipse whose rim is a ring of small rounded bumps: the outline of a
// shaggy patch of fur. `depth` is the bump height as a fraction of the
// radius; `rotation` turns the ellipse about its centre, in degrees.
QPainterPath tuftedBlob(QPointF centre, double rx, double ry, int tufts, double depth,
                        double rotation = 0.0, double phase = 0.0);

// A rounded rectangle centred on `centre`, turned by `rotation` degrees.
QPainterPath turnedRoundedRect(QPointF centre, double width, double height, double radius,
                               double rotation);

}  // namespace nvx::drawing
