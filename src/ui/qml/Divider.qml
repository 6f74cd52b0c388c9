import QtQuick
import Depotrium

// A thin ruled line of the paper form.
Rectangle {
    property bool strong: false

    implicitHeight: strong ? 2 : 1
    color: strong ? DepotriumPalette.ink : Qt.rgba(DepotriumPalette.ink.r, DepotriumPalette.ink.g,
                                                    DepotriumPalette.ink.b, 0.18)
}
