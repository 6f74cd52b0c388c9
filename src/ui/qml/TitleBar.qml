import QtQuick
import QtQuick.Layouts
import Depotrium

// The page title of the selected section and the form's number.
Rectangle {
    id: bar

    required property int tab

    implicitHeight: 58
    color: DepotriumPalette.paper

    RowLayout {
        anchors.fill: parent
        anchors.leftMargin: 28
        anchors.rightMargin: 28
        spacing: 14

        SelectableText {
            objectName: "pageTitle"
            wrapMode: TextEdit.NoWrap
            text: bar.tab === 0 ? "Приёмка оборудования"
                : bar.tab === 1 ? "Инвентарная ведомость" : "Результаты испытаний"
            font.pixelSize: 22
            font.weight: Font.DemiBold
        }
        Item { Layout.fillWidth: true }
        SelectableText {
            wrapMode: TextEdit.NoWrap
            text: "ФОРМА NVX / 01"
            color: DepotriumPalette.muted
            font.pixelSize: 12
            font.weight: Font.Medium
            font.letterSpacing: 1.5
        }
    }
    Divider {
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        anchors.leftMargin: 28
        anchors.rightMargin: 28
        strong: true
    }
}
