import QtQuick
import QtQuick.Controls
import Depotrium

// The main action of a block, filled with the accent colour.
Button {
    id: button

    font.weight: Font.DemiBold
    topPadding: 9
    bottomPadding: 9
    leftPadding: 18
    rightPadding: 18

    Accessible.name: text

    contentItem: Label {
        text: button.text
        font: button.font
        color: button.enabled ? "white" : Qt.rgba(1, 1, 1, 0.85)
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
    }
    background: Rectangle {
        implicitWidth: 120
        implicitHeight: 34
        radius: 6
        color: !button.enabled ? Qt.rgba(DepotriumPalette.muted.r, DepotriumPalette.muted.g, DepotriumPalette.muted.b, 0.55)
             : button.down ? Qt.darker(DepotriumPalette.rust, 1.2)
             : button.hovered ? Qt.lighter(DepotriumPalette.rust, 1.1) : DepotriumPalette.rust

        FocusRing {
            shown: button.visualFocus
        }
    }
}
