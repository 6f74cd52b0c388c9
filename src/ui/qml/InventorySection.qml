import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Depotrium

// A disclosure group: one system section, closed until the user opens it.
ColumnLayout {
    id: section

    required property string title
    required property var value
    property bool expanded: false

    spacing: 6

    AbstractButton {
        id: toggle
        objectName: "sectionToggle"
        Layout.fillWidth: true
        topPadding: 6
        bottomPadding: 6
        Accessible.role: Accessible.Button
        Accessible.name: section.title
        Accessible.description: section.expanded ? "Раздел раскрыт" : "Раздел свёрнут"
        onClicked: section.expanded = !section.expanded
        contentItem: Row {
            spacing: 8
            Label {
                text: section.expanded ? "▾" : "▸"
                color: DepotriumPalette.muted
                font.pixelSize: 14
                width: 14
            }
            Label {
                text: section.title
                color: DepotriumPalette.ink
                font.pixelSize: 14
                font.weight: Font.Medium
            }
        }
        background: Item {
            FocusRing {
                shown: toggle.visualFocus
                radius: 4
                anchors.margins: 0
            }
        }
    }
    // The tree is built only when the section is opened: a large one takes
    // a moment and most are never looked at.
    Loader {
        Layout.fillWidth: true
        Layout.leftMargin: 22
        active: section.expanded
        visible: active
        Component.onCompleted: setSource("InventoryValueView.qml", { value: section.value, depth: 0 })
    }
    Divider { Layout.fillWidth: true }
}
