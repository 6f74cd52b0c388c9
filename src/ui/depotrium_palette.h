#pragma once

#include <QColor>
#include <QObject>
#include <QtQml/qqmlregistration.h>

namespace nvx {

// The five colours of the window: a printed paper form on a dark metal
// sidebar. Each is made once, on first use (thread-safe statics), and never
// changes.
namespace DepotriumPalette {
const QColor& paper();   // content background
const QColor& ink();     // body text, outlines
const QColor& muted();   // secondary texts
const QColor& metal();   // sidebar background
const QColor& rust();    // accent, warnings, errors
}  // namespace DepotriumPalette

// The palette for QML, as the singleton `DepotriumPalette`.
class DepotriumPaletteForQml : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(DepotriumPalette)
    QML_SINGLETON
    Q_PROPERTY(QColor paper READ paper CONSTANT)
    Q_PROPERTY(QColor ink READ ink CONSTANT)
    Q_PROPERTY(QColor muted READ muted CONSTANT)
    Q_PROPERTY(QColor metal READ metal CONSTANT)
    Q_PROPERTY(QColor rust READ rust CONSTANT)

public:
    using QObject::QObject;
    QColor paper() const { return DepotriumPalette::paper(); }
    QColor ink() const { return DepotriumPalette::ink(); }
    QColor muted() const { return DepotriumPalette::muted(); }
    QColor metal() const { return DepotriumPalette::metal(); }
    QColor rust() const { return DepotriumPalette::rust(); }
};

}  // namespace nvx
