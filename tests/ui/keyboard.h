#pragma once

#include <QCoreApplication>
#include <QKeyEvent>
#include <QWindow>

namespace nvx::testing {

// Types `text` into the window's focused item one character at a time, as
// a keyboard would (QTest has no text typing for windows, and its key
// helpers take Latin-1 characters only).
inline void typeText(QWindow* window, const QString& text) {
    for (const QChar character : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(character));
        QCoreApplication::sendEvent(window, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(character));
        QCoreApplication::sendEvent(window, &release);
    }
}

}  // namespace nvx::testing
