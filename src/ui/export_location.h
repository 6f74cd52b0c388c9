#pragma once

#include <QObject>
#include <QString>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

namespace nvx {

// Where the save dialog proposes to put an exported report.
class ExportLocation : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    using QObject::QObject;
    // The user's documents folder (the home folder when there is none).
    Q_INVOKABLE QUrl folder() const;
    // `fileName` inside folder().
    Q_INVOKABLE QUrl file(const QString& fileName) const;
};

}  // namespace nvx
