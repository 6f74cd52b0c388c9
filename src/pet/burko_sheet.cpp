#include "burko_sheet.h"

#include <QImageReader>

#include <algorithm>

#include "core/resources.h"

namespace nvx {

namespace {

constexpr int sheetWidth = 1536;
constexpr int sheetHeight = 2288;
constexpr int cellWidth = 192;
constexpr int cellHeight = 208;
constexpr int rows = 11;
constexpr int columns = 8;

}  // namespace

BurkoFrames cutBurkoSheet(const QString& path, int scale, int (*framesInRow)(int row)) {
    if (path.isEmpty() || scale < 1) return {};
    QImageReader reader(path);
    const QImage sheet = reader.read();  // the first image of the file
    if (sheet.isNull() || sheet.width() != sheetWidth * scale || sheet.height() != sheetHeight * scale) return {};
    // Premultiplied frames draw without a conversion on every paint.
    const QImage prepared = sheet.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    BurkoFrames frames(rows);
    for (int row = 0; row < rows; ++row) {
        const int count = framesInRow ? std::min(framesInRow(row), columns) : columns;
        for (int column = 0; column < count; ++column) {
            QImage cell = prepared.copy(column * cellWidth * scale, row * cellHeight * scale, cellWidth * scale,
                                        cellHeight * scale);
            if (!cell.isNull()) frames[static_cast<std::size_t>(row)].push_back(std::move(cell));
        }
    }
    return frames;
}

const BurkoFrames& sharedBurkoFrames() {
    static const BurkoFrames frames = [] {
        const auto path = resourcePath("burko", "png");
        return path.empty() ? BurkoFrames() : cutBurkoSheet(QString::fromStdString(path.string()));
    }();
    return frames;
}

}  // namespace nvx
