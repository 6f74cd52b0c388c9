#include "export_location.h"

#include <QDir>
#include <QStandardPaths>

namespace nvx {

QUrl ExportLocation::folder() const {
    QString path = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (path.isEmpty() || !QDir(path).exists()) path = QDir::homePath();
    return QUrl::fromLocalFile(path);
}

QUrl ExportLocation::file(const QString& fileName) const {
    return QUrl::fromLocalFile(QDir(folder().toLocalFile()).filePath(fileName));
}

}  // namespace nvx
