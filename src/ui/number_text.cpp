#include "number_text.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

namespace nvx {

QString NumberText::fixed(double value, int decimals) const {
    return QString::asprintf("%.*f", std::clamp(decimals, 0, 17), value);
}

QString NumberText::localized(double value) const {
    const QLocale locale;
    QString text = locale.toString(value, 'f', 3);
    // Drop trailing zeros, then a bare decimal separator.
    const QString separator = locale.decimalPoint();
    if (text.contains(separator)) {
        while (text.endsWith(QLatin1Char('0'))) text.chop(1);
        if (text.endsWith(separator)) text.chop(separator.size());
    }
    if (text == QStringLiteral("-0")) text = QStringLiteral("0");
    return text;
}

}  // namespace nvx
