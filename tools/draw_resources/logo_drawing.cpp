#include "logo_drawing.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>

namespace nvx::drawing {

QImage drawLogo() {
    const QColor yellow(0xf2, 0xc2, 0x30);
    QImage image(330, 136, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);

    // The mark: a crate on a shelf, drawn as a rounded square with three
    // rails, the middle one shorter.
    painter.setPen(Qt::NoPen);
    painter.setBrush(yellow);
    painter.drawRoundedRect(QRectF(6, 16, 104, 104), 18, 18);
    painter.setBrush(QColor(0x29, 0x30, 0x2e));
    painter.drawRoundedRect(QRectF(24, 38, 68, 12), 6, 6);
    painter.drawRoundedRect(QRectF(24, 62, 44, 12), 6, 6);
    painter.drawRoundedRect(QRectF(24, 86, 68, 12), 6, 6);

    QFont font("DejaVu Sans");
    font.setBold(true);
    font.setPixelSize(84);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 2);
    QPainterPath letters;
    letters.addText(0, 0, font, "NVX");
    const QRectF bounds = letters.boundingRect();
    const double scale = std::min(196.0 / bounds.width(), 90.0 / bounds.height());
    painter.translate(124 - bounds.left() * scale, 68 - bounds.center().y() * scale);
    painter.scale(scale, scale);
    painter.setBrush(yellow);
    painter.drawPath(letters);
    return image;
}

}  // namespace nvx::drawing
