import QtQuick
import Depotrium

// The ring drawn around a control that has keyboard focus, so that a
// keyboard user always sees where they are. Placed inside the control's
// background; it reaches a little beyond it.
Rectangle {
    // Whether the control shows keyboard focus (its visualFocus).
    required property bool shown
    property color ringColor: DepotriumPalette.ink

    anchors.fill: parent
    anchors.margins: -3
    radius: 8
    color: "transparent"
    border.width: 2
    border.color: ringColor
    visible: shown
}
