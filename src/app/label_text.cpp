#include "app/label_text.h"

#include <QTextBoundaryFinder>

namespace nvx {

QString trimmedLabel(const QString& text) {
    // QChar::isSpace is exactly the separator categories plus U+0009-U+000D
    // and U+0085, all of them in the Basic Multilingual Plane.
    return text.trimmed();
}

int perceivedLength(const QString& text) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int count = 0;
    while (finder.toNextBoundary() != -1) ++count;
    return count;
}

QString perceivedPrefix(const QString& text, int count) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype end = 0;
    for (int taken = 0; taken < count; ++taken) {
        const qsizetype next = finder.toNextBoundary();
        if (next == -1) break;
        end = next;
    }
    return text.left(end);
}

bool labelFitsLimits(const QString& name, const QString& owner, const QString& location) {
    return perceivedLength(name) <= maximumNameLength && perceivedLength(owner) <= maximumOwnerLength &&
           perceivedLength(location) <= maximumLocationLength;
}

}  // namespace nvx
