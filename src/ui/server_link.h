#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

namespace nvx {

// The depot address policy for QML (the footer's "Открыть склад" and the
// settings captions).
class ServerLink : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    // The built-in depot address, used when NVX_SERVER_URL is not set.
    Q_PROPERTY(QString defaultServer READ defaultServer CONSTANT)

public:
    using QObject::QObject;
    QString defaultServer() const;
    // The address to open in the browser when `server` passes the policy;
    // empty when the policy refuses it.
    Q_INVOKABLE QString checkedAddress(const QString& server) const;
};

}  // namespace nvx
