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
        objectName: "sectionToggle"
        Layout.fillWidth: true
        topPadding: 6
        bottomPadding: 6
        Accessible.role: Accessible.Button
        Accessible.name: section.title
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
        background: null
    }
    Loader {
        Layout.fillWidth: true
        Layout.leftMargin: 22
        active: section.expanded
        visible: active
        sourceComponent: InventoryValueView {
            value: section.value
            depth: 0
        }
    }
    Divider { Layout.fillWidth: true }
}
