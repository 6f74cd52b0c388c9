import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Depotrium

// The bottom bar: the product and its version, and the way to the depot.
Rectangle {
    id: footer

    required property DepotriumModel model

    implicitHeight: 46
    color: DepotriumPalette.paper

    Divider {
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.top: parent.top
    }

    RowLayout {
        anchors.fill: parent
        anchors.leftMargin: 28
        anchors.rightMargin: 28

        CaptionText {
            wrapMode: TextEdit.NoWrap
            text: "NVX Depotrium · 0.4.0"
        }
        Item { Layout.fillWidth: true }
        Button {
            objectName: "openDepot"
            Accessible.name: text
            text: "Открыть склад"
            flat: true
            onClicked: {
                const address = ServerLink.checkedAddress(footer.model.server)
                if (address.length === 0)
                    footer.model.error = "Проверьте адрес склада в настройках приложения."
                else
                    Qt.openUrlExternally(address)
            }
        }
    }
}
