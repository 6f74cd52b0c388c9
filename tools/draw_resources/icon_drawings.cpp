#include "icon_drawings.h"

#include <QPainter>
#include <QPainterPath>

namespace nvx::drawing {

namespace {

const QColor white(0xff, 0xff, 0xff);
const QColor muted(94, 97, 84);   // the palette's muted (0.37, 0.38, 0.33)
const QColor rust(148, 59, 26);   // the palette's rust (0.58, 0.23, 0.10)

// Icons are drawn on a 24-unit grid and scaled to `size` pixels.
QImage icon(int size, const QColor& colour, const std::function<void(QPainter&)>& draw) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 24.0, size / 24.0);
    painter.setPen(QPen(colour, 1.7, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    draw(painter);
    return image;
}

void shippingBox(QPainter& painter) {
    QPainterPath box;
    box.moveTo(12, 2.5);
    box.lineTo(21, 7);
    box.lineTo(21, 17);
    box.lineTo(12, 21.5);
    box.lineTo(3, 17);
    box.lineTo(3, 7);
    box.closeSubpath();
    painter.drawPath(box);
    painter.drawLine(QPointF(3, 7), QPointF(12, 11.5));
    painter.drawLine(QPointF(21, 7), QPointF(12, 11.5));
    painter.drawLine(QPointF(12, 11.5), QPointF(12, 21.5));
    painter.drawLine(QPointF(7.5, 4.8), QPointF(16.5, 9.3));  // the tape
}

void desktopComputer(QPainter& painter) {
    painter.drawRoundedRect(QRectF(2.5, 3.5, 19, 13), 1.8, 1.8);
    painter.drawLine(QPointF(2.5, 13.5), QPointF(21.5, 13.5));
    painter.drawLine(QPointF(10, 16.5), QPointF(9, 20.5));
    painter.drawLine(QPointF(14, 16.5), QPointF(15, 20.5));
    painter.drawLine(QPointF(7.5, 20.5), QPointF(16.5, 20.5));
}

void gauge(QPainter& painter) {
    painter.drawArc(QRectF(2.5, 4.5, 19, 19), 0, 180 * 16);
    painter.drawLine(QPointF(2.5, 14), QPointF(21.5, 14));
    for (const QPointF& tick : {QPointF(5, 9.5), QPointF(12, 6.5), QPointF(19, 9.5)}) {
        painter.drawPoint(tick);
    }
    painter.setPen(QPen(painter.pen().color(), 2.2, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(12, 14), QPointF(15.5, 8));
}

void warningSign(QPainter& painter) {
    QPainterPath triangle;
    triangle.moveTo(12, 3);
    triangle.lineTo(22, 20.5);
    triangle.lineTo(2, 20.5);
    triangle.closeSubpath();
    painter.drawPath(triangle);
    painter.setPen(QPen(painter.pen().color(), 2.2, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(12, 9), QPointF(12, 14));
    painter.drawPoint(QPointF(12, 17.5));
}

}  // namespace

std::vector<IconDrawing> iconDrawings() {
    return {
        {"shippingbox.png", [] { return icon(48, white, shippingBox); }},
        {"desktopcomputer.png", [] { return icon(48, white, desktopComputer); }},
        {"gauge.png", [] { return icon(48, white, gauge); }},
        {"desktopcomputer-muted.png", [] { return icon(220, muted, desktopComputer); }},
        {"warning.png", [] { return icon(40, rust, warningSign); }},
    };
}

}  // namespace nvx::drawing
