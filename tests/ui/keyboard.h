#pragma once

#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>

#include <optional>

namespace nvx::testing {

// Key and mouse input through the platform's input queue
// (QWindowSystemInterface), as a keyboard and a mouse deliver it: the
// window's shortcuts, focus chain and input handling all see it.

// Presses and releases one key; `text` is what the key types, if anything.
inline void pressKey(QWindow* window, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
                     const QString& text = {}) {
    QTest::sendKeyEvent(QTest::Press, window, key, text, modifiers);
    QTest::sendKeyEvent(QTest::Release, window, key, text, modifiers);
}

// The key a keyboard layout reports for a typed character: letters by their
// capital's code (Cyrillic ones included), the rest by their own.
inline Qt::Key keyFor(QChar character) {
    if (character == u' ') return Qt::Key_Space;
    return static_cast<Qt::Key>(character.toUpper().unicode());
}

// Types `text` one character at a time.
inline void typeText(QWindow* window, const QString& text) {
    for (const QChar character : text) pressKey(window, keyFor(character), Qt::NoModifier, QString(character));
}

// A left click in the middle of `item`, or at `point` of it.
inline void clickItem(QQuickWindow* window, const QQuickItem* item, std::optional<QPointF> point = std::nullopt) {
    const QPointF inside = point.value_or(QPointF(item->width() / 2, item->height() / 2));
    QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, item->mapToScene(inside).toPoint());
}

}  // namespace nvx::testing
