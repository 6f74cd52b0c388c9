#pragma once

#include <QObject>
#include <QString>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

namespace nvx {

// Addresses of the application's data files for QML images (the logo and
// the icons), found where resourceDirectory() finds them.
class ResourceFiles : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    using QObject::QObject;
    // The file at `relativePath` inside the resource folder; empty when
    // there is no resource folder.
    Q_INVOKABLE QUrl url(const QString& relativePath) const;
};

}  // namespace nvx
