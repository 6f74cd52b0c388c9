pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Layouts
import Depotrium

// The dark metal strip on the left: logo, sections, the pet, the drafts
// menu and the tag line.
Rectangle {
    id: sidebar

    required property DepotriumModel model

    color: DepotriumPalette.metal

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 14
        anchors.topMargin: 18
        spacing: 6

        Image {
            Layout.preferredWidth: 165
            Layout.preferredHeight: 68
            source: ResourceFiles.url("logo-yellow.png")
            fillMode: Image.PreserveAspectFit
            sourceSize.width: 330
            smooth: true
            Accessible.role: Accessible.Graphic
            Accessible.name: "Логотип NVX"
        }
        SelectableText {
            wrapMode: TextEdit.NoWrap
            text: "DEPOTRIUM"
            color: "white"
            font.bold: true
            font.pixelSize: 15
            font.letterSpacing: 4
        }
        SelectableText {
            Layout.fillWidth: true
            text: "Учёт вычислительной техники"
            color: Qt.rgba(1, 1, 1, 0.6)
            font.pixelSize: 11
        }

        Item { Layout.preferredHeight: 10 }

        Repeater {
            model: [
                { title: "Приёмка", icon: "icons/shippingbox.png" },
                { title: "Оборудование", icon: "icons/desktopcomputer.png" },
                { title: "Испытания", icon: "icons/gauge.png" }
            ]
            SectionButton {
                required property var modelData
                required property int index
                Layout.fillWidth: true
                title: modelData.title
                iconSource: ResourceFiles.url(modelData.icon)
                selected: sidebar.model.tab === index
                onClicked: sidebar.model.tab = index
            }
        }

        Item { Layout.fillHeight: true; Layout.minimumHeight: 4 }

        BurkoView {
            objectName: "pet"
            Layout.fillWidth: true
            Layout.preferredHeight: 184
            petState: sidebar.model.petState
        }
        SelectableText {
            objectName: "petCaption"
            Layout.fillWidth: true
            horizontalAlignment: TextEdit.AlignHCenter
            color: Qt.rgba(1, 1, 1, 0.85)
            font.pixelSize: 12
            text: sidebar.model.measuring ? "Бурко замер, чтобы не влиять на измерения."
                : (sidebar.model.report && sidebar.model.report.completed) ? "Всё осмотрено. Бурко доволен."
                : "Бурко осмотрит каждый уголок."
        }

        Item { Layout.fillHeight: true; Layout.minimumHeight: 4 }

        DraftsMenu {
            Layout.fillWidth: true
            visible: sidebar.model.drafts.length > 0
            model: sidebar.model
        }

        SelectableText {
            Layout.fillWidth: true
            text: "Оборудование — по местам.\nРезультаты — в одной ведомости."
            color: Qt.rgba(1, 1, 1, 0.55)
            font.pixelSize: 11
        }
    }
}
