#include "depotrium_palette.h"

namespace nvx::DepotriumPalette {

namespace {
QColor colour(float red, float green, float blue) { return QColor::fromRgbF(red, green, blue, 1.0f); }
}  // namespace

const QColor& paper() {
    static const QColor value = colour(0.96f, 0.94f, 0.88f);
    return value;
}
const QColor& ink() {
    static const QColor value = colour(0.18f, 0.20f, 0.18f);
    return value;
}
const QColor& muted() {
    static const QColor value = colour(0.37f, 0.38f, 0.33f);
    return value;
}
const QColor& metal() {
    static const QColor value = colour(0.16f, 0.19f, 0.18f);
    return value;
}
const QColor& rust() {
    static const QColor value = colour(0.58f, 0.23f, 0.10f);
    return value;
}

}  // namespace nvx::DepotriumPalette
