#include "number_text.h"

#include <QLocale>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace nvx {

QString NumberText::fixed(double value, int decimals) const {
    // The C library's formatting: Qt's own asprintf rounds halves up.
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", std::clamp(decimals, 0, 17), value);
    return QString::fromLatin1(buffer);
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
