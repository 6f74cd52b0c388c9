#include "png_output.h"

#include <QImageWriter>

namespace nvx::drawing {

bool writePng(const QImage& image, const QString& path, bool reducePalette) {
    QImageWriter writer(path, "png");
    writer.setQuality(0);  // PNG: 0 asks for the strongest compression
    const QImage converted = reducePalette
        ? image.convertToFormat(QImage::Format_ARGB32).convertToFormat(
              QImage::Format_Indexed8, Qt::ThresholdDither | Qt::PreferDither)
        : image.convertToFormat(QImage::Format_ARGB32);
    return writer.write(converted);
}

}  // namespace nvx::drawing
