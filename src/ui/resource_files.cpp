#include "resource_files.h"

#include <QDir>

#include "core/resources.h"

namespace nvx {

QUrl ResourceFiles::url(const QString& relativePath) const {
    const auto directory = resourceDirectory();
    if (directory.empty()) return {};
    return QUrl::fromLocalFile(QDir(QString::fromStdString(directory.string())).filePath(relativePath));
}

}  // namespace nvx
