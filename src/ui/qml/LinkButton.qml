import QtQuick
import QtQuick.Controls
import Depotrium

// A link that the keyboard reaches like a button: Tab to it, Space or
// Return to follow it.
AbstractButton {
    id: link

    // Where the link leads; opened in the browser.
    required property string address

    Accessible.role: Accessible.Link
    Accessible.name: text
    Accessible.description: address
    padding: 2
    onClicked: Qt.openUrlExternally(link.address)
    Keys.onReturnPressed: link.clicked()
    Keys.onEnterPressed: link.clicked()

    contentItem: Text {
        text: link.text
        color: DepotriumPalette.rust
        font.pixelSize: 13
        font.underline: link.hovered || link.visualFocus
    }
    background: Item {
        FocusRing {
            shown: link.visualFocus
            radius: 4
            anchors.margins: -1
        }
    }
}
