import QtQuick
import QtQuick.Layouts
import Depotrium

// The model's last error under the page, above the footer, in rust with a
// warning sign; selectable. Shown only while there is an error.
Rectangle {
    id: bar

    required property string text

    visible: text.length > 0
    implicitHeight: visible ? row.implicitHeight + 20 : 0
    color: DepotriumPalette.paper

    Divider {
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.top: parent.top
        anchors.leftMargin: 28
        anchors.rightMargin: 28
    }

    RowLayout {
        id: row
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.verticalCenter: parent.verticalCenter
        anchors.leftMargin: 28
        anchors.rightMargin: 28
        spacing: 8

        Image {
            Layout.alignment: Qt.AlignTop
            Layout.preferredWidth: 18
            Layout.preferredHeight: 18
            source: ResourceFiles.url("icons/warning.png")
            sourceSize.width: 40
            sourceSize.height: 40
            smooth: true
            Accessible.ignored: true
        }
        SelectableText {
            objectName: "error"
            Layout.fillWidth: true
            color: DepotriumPalette.rust
            text: bar.text
            Accessible.role: Accessible.AlertMessage
        }
    }
}
