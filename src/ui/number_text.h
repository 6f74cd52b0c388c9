#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

namespace nvx {

// Number formats of the window, for QML: the fixed formats of the summary
// and results ("%.1f", "%.2f"), which JavaScript's toFixed would round
// differently on exact halves, and the user's locale format of the
// inventory tree.
class NumberText : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    using QObject::QObject;
    // printf's "%.<decimals>f": a full stop, round half to even on exact
    // binary halves.
    Q_INVOKABLE QString fixed(double value, int decimals) const;
    // The number with the grouping and decimal separator of the user's
    // locale and at most three fraction digits, trailing zeros dropped.
    Q_INVOKABLE QString localized(double value) const;
};

}  // namespace nvx
