import QtQuick
import Depotrium

// A link that the keyboard reaches like a button: Tab to it, Space or
// Return to follow it. A text rather than a button, so that assistive
// technology announces it as a link.
Text {
    id: link

    // Where the link leads; opened in the browser.
    required property string address

    function follow() {
        Qt.openUrlExternally(link.address)
    }

    color: DepotriumPalette.rust
    font.family: "DejaVu Sans"
    font.pixelSize: 13
    font.underline: hover.hovered || link.activeFocus
    activeFocusOnTab: true
    Accessible.role: Accessible.Link
    Accessible.name: text
    Accessible.description: address
    Accessible.focusable: true
    Accessible.onPressAction: link.follow()
    Keys.onReturnPressed: link.follow()
    Keys.onEnterPressed: link.follow()
    Keys.onSpacePressed: link.follow()

    HoverHandler {
        id: hover
        cursorShape: Qt.PointingHandCursor
    }
    TapHandler {
        onTapped: {
            link.forceActiveFocus(Qt.MouseFocusReason)
            link.follow()
        }
    }
    FocusRing {
        shown: link.activeFocus
        radius: 4
        anchors.margins: -3
    }
}
