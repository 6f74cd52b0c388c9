#include "device_drawings.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace nvx::drawing {

namespace {

constexpr int imageWidth = 460;
constexpr int imageHeight = 340;

const QColor aluminium(0xd4, 0xd6, 0xd5);
const QColor aluminiumShade(0xa9, 0xad, 0xab);
const QColor edge(0x5b, 0x60, 0x5d);
const QColor bezel(0x1e, 0x21, 0x20);

QImage canvas() {
    QImage image(imageWidth, imageHeight, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

void shadow(QPainter& painter, QPointF centre, double width) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(30, 30, 25, 50));
    painter.drawEllipse(centre, width / 2, 9);
}

QLinearGradient metalGradient(QRectF rect) {
    QLinearGradient gradient(rect.topLeft(), rect.bottomLeft());
    gradient.setColorAt(0, aluminium.lighter(106));
    gradient.setColorAt(1, aluminiumShade);
    return gradient;
}

// The picture on the screen: a calm evening landscape in the window's
// palette, so every device looks switched on.
void wallpaper(QPainter& painter, QRectF screen) {
    painter.save();
    painter.setClipRect(screen);
    QLinearGradient sky(screen.topLeft(), screen.bottomLeft());
    sky.setColorAt(0, QColor(0x2e, 0x3b, 0x45));
    sky.setColorAt(0.6, QColor(0xc8, 0x6a, 0x3a));
    sky.setColorAt(1, QColor(0xf0, 0xc0, 0x5a));
    painter.fillRect(screen, sky);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xf5, 0xe3, 0xa0));
    painter.drawEllipse(QPointF(screen.center().x() + screen.width() * 0.18, screen.top() + screen.height() * 0.55),
                        screen.height() * 0.12, screen.height() * 0.12);
    QPainterPath far;
    far.moveTo(screen.bottomLeft());
    far.lineTo(screen.left(), screen.top() + screen.height() * 0.7);
    far.quadTo(screen.left() + screen.width() * 0.3, screen.top() + screen.height() * 0.5,
               screen.center().x(), screen.top() + screen.height() * 0.72);
    far.quadTo(screen.left() + screen.width() * 0.75, screen.top() + screen.height() * 0.9,
               screen.right(), screen.top() + screen.height() * 0.66);
    far.lineTo(screen.bottomRight());
    far.closeSubpath();
    painter.setBrush(QColor(0x5a, 0x3a, 0x2c));
    painter.drawPath(far);
    QPainterPath near;
    near.moveTo(screen.bottomLeft());
    near.lineTo(screen.left(), screen.top() + screen.height() * 0.86);
    near.quadTo(screen.left() + screen.width() * 0.55, screen.top() + screen.height() * 0.72,
                screen.right(), screen.top() + screen.height() * 0.9);
    near.lineTo(screen.bottomRight());
    near.closeSubpath();
    painter.setBrush(QColor(0x29, 0x30, 0x2d));
    painter.drawPath(near);
    painter.restore();
}

void outlined(QPainter& painter, const QBrush& brush, double width = 2.5) {
    painter.setPen(QPen(edge, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(brush);
}

QImage laptop() {
    QImage image = canvas();
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    shadow(painter, {230, 298}, 420);
    const QRectF lid(78, 28, 304, 228);
    outlined(painter, bezel);
    painter.drawRoundedRect(lid, 16, 16);
    wallpaper(painter, lid.adjusted(12, 12, -12, -14));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x10, 0x10, 0x10));
    painter.drawRoundedRect(QRectF(212, 28, 36, 10), 4, 4);  // camera housing
    QPainterPath base;
    base.moveTo(28, 258);
    base.lineTo(432, 258);
    base.quadTo(432, 280, 404, 284);
    base.lineTo(56, 284);
    base.quadTo(28, 280, 28, 258);
    outlined(painter, metalGradient(QRectF(28, 258, 404, 26)));
    painter.drawPath(base);
    painter.setPen(Qt::NoPen);
    painter.setBrush(aluminiumShade.darker(112));
    painter.drawRoundedRect(QRectF(196, 258, 68, 8), 4, 4);  // thumb notch
    return image;
}

QImage allInOne() {
    QImage image = canvas();
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    shadow(painter, {230, 318}, 200);
    QPainterPath stand;
    stand.moveTo(196, 250);
    stand.lineTo(264, 250);
    stand.lineTo(276, 312);
    stand.lineTo(184, 312);
    stand.closeSubpath();
    outlined(painter, metalGradient(QRectF(184, 250, 92, 62)));
    painter.drawPath(stand);
    const QRectF panel(40, 16, 380, 252);
    outlined(painter, QColor(0xb8, 0xc9, 0xc2));
    painter.drawRoundedRect(panel, 14, 14);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xf4, 0xf3, 0xee));
    painter.drawRoundedRect(QRectF(42, 18, 376, 200), 12, 12);
    painter.setBrush(bezel);
    painter.drawRect(QRectF(52, 28, 356, 184));
    wallpaper(painter, QRectF(58, 34, 344, 172));
    painter.setBrush(QColor(0xa3, 0xb8, 0xb0));
    painter.drawRect(QRectF(42, 218, 376, 2));
    return image;
}

// A low box seen slightly from above: top face and front face.
void box(QPainter& painter, QRectF front, double topDepth, double radius) {
    QPainterPath top;
    top.addRoundedRect(QRectF(front.left() + 10, front.top() - topDepth, front.width() - 20, topDepth * 2), radius,
                       radius);
    outlined(painter, aluminium.lighter(108));
    painter.drawPath(top);
    outlined(painter, metalGradient(front));
    painter.drawRoundedRect(front, radius * 0.6, radius * 0.6);
}

QImage mini() {
    QImage image = canvas();
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    shadow(painter, {230, 266}, 360);
    box(painter, QRectF(60, 196, 340, 64), 34, 22);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x6a, 0xc0, 0x7a));
    painter.drawEllipse(QPointF(370, 236), 3.5, 3.5);  // power light
    painter.setBrush(aluminiumShade.darker(130));
    painter.drawRoundedRect(QRectF(92, 228, 26, 8), 3, 3);
    return image;
}

QImage studio() {
    QImage image = canvas();
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    shadow(painter, {230, 284}, 320);
    box(painter, QRectF(90, 148, 280, 130), 30, 24);
    painter.setPen(Qt::NoPen);
    painter.setBrush(aluminiumShade.darker(135));
    for (double x : {120.0, 146.0}) painter.drawRoundedRect(QRectF(x, 232, 14, 8), 3, 3);  // ports
    painter.drawRoundedRect(QRectF(250, 234, 50, 4), 2, 2);                                  // card slot
    painter.setBrush(QColor(0x6a, 0xc0, 0x7a));
    painter.drawEllipse(QPointF(336, 236), 3.5, 3.5);
    return image;
}

QImage tower() {
    QImage image = canvas();
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    shadow(painter, {230, 326}, 220);
    const QRectF body(140, 34, 180, 286);
    outlined(painter, metalGradient(body));
    painter.drawRoundedRect(body, 14, 14);
    // Handles on top.
    painter.setPen(QPen(edge, 10, Qt::SolidLine, Qt::RoundCap));
    painter.setBrush(Qt::NoBrush);
    painter.drawArc(QRectF(152, 14, 56, 44), 0, 180 * 16);
    painter.drawArc(QRectF(252, 14, 56, 44), 0, 180 * 16);
    // The perforated front: a lattice of round holes.
    painter.setPen(Qt::NoPen);
    painter.setBrush(aluminiumShade.darker(150));
    for (int row = 0; row < 18; ++row) {
        for (int column = 0; column < 10; ++column) {
            const double x = 158 + column * 16 + (row % 2) * 8;
            const double y = 54 + row * 14.5;
            if (x > 306) continue;
            painter.drawEllipse(QPointF(x, y), 4.4, 4.4);
        }
    }
    return image;
}

}  // namespace

std::vector<DeviceDrawing> deviceDrawings() {
    return {
        {"laptop.png", laptop},
        {"all-in-one.png", allInOne},
        {"mini.png", mini},
        {"tower.png", tower},
        {"studio.png", studio},
    };
}

}  // namespace nvx::drawing
