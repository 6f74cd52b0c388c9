// Draws the application's bundled pictures into a resource folder, and the
// application's icon into an icon theme folder:
//   nvx-draw-resources <resources folder> [<icon theme folder>]
// The output is committed; rerun after changing a drawing.

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

#include "application_icon_drawing.h"
#include "burko_sheet.h"
#include "device_drawings.h"
#include "icon_drawings.h"
#include "logo_drawing.h"
#include "model_image_index.h"
#include "png_output.h"

using namespace nvx::drawing;

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: nvx-draw-resources <resources folder> [<icon theme folder>]\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.mkpath("device-images") || !folder.mkpath("icons")) {
        std::fprintf(stderr, "cannot create folders in %s\n", argv[1]);
        return 1;
    }
    bool written = writePng(drawBurkoSheet(), folder.filePath("burko.png"), false);
    written = writePng(drawBurkoSheet(2), folder.filePath("burko@2x.png"), false) && written;
    written = writePng(drawLogo(), folder.filePath("logo-yellow.png"), false) && written;
    for (const auto& device : deviceDrawings()) {
        written = writePng(device.draw(), folder.filePath("device-images/" + device.file), false) && written;
    }
    for (const auto& icon : iconDrawings()) {
        written = writePng(icon.draw(), folder.filePath("icons/" + icon.file), false) && written;
    }
    if (argc == 3) {
        // <theme>/<N>x<N>/apps/<application id>.png, as the hicolor theme lays them out.
        const QDir theme(QString::fromLocal8Bit(argv[2]));
        for (const int size : applicationIconSizes()) {
            const QString folderName = QStringLiteral("%1x%1/apps").arg(size);
            written = theme.mkpath(folderName) &&
                      writePng(drawApplicationIcon(size), theme.filePath(folderName + "/org.nvx.Depotrium.png"), true) &&
                      written;
        }
    }
    QFile index(folder.filePath("model-images.json"));
    if (!index.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        index.write(QJsonDocument(modelImageIndex()).toJson(QJsonDocument::Indented)) < 0) {
        written = false;
    }
    if (!written) {
        std::fprintf(stderr, "some pictures could not be written to %s\n", argv[1]);
        return 1;
    }
    return 0;
}
