import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Depotrium

// A full-width sidebar button: icon and title, a faint rounded background
// when its section is shown.
AbstractButton {
    id: button

    required property string title
    required property url iconSource
    required property bool selected

    text: title
    topPadding: 9
    bottomPadding: 9
    leftPadding: 12
    rightPadding: 12
    // Announced as the tabs of a tab bar, the shown one selected.
    Accessible.role: Accessible.PageTab
    Accessible.name: title
    Accessible.selectable: true
    Accessible.selected: selected

    background: Rectangle {
        radius: 7
        color: button.selected ? Qt.rgba(1, 1, 1, 0.13)
             : button.hovered ? Qt.rgba(1, 1, 1, 0.06) : "transparent"

        FocusRing {
            shown: button.visualFocus
            ringColor: "#f2c230"
            anchors.margins: 0
        }
    }

    contentItem: RowLayout {
        spacing: 10
        Image {
            Layout.preferredWidth: 20
            Layout.preferredHeight: 20
            source: button.iconSource
            sourceSize.width: 48
            sourceSize.height: 48
            smooth: true
        }
        Label {
            Layout.fillWidth: true
            text: button.title
            color: "white"
            font.pixelSize: 14
            font.weight: button.selected ? Font.DemiBold : Font.Normal
            elide: Text.ElideRight
        }
    }
}
