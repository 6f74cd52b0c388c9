import QtQuick
import QtQuick.Layouts
import Depotrium

// The model's last error, in rust, with a warning sign; selectable.
RowLayout {
    id: line

    required property string text

    visible: text.length > 0
    spacing: 8

    Image {
        Layout.alignment: Qt.AlignTop
        Layout.preferredWidth: 18
        Layout.preferredHeight: 18
        source: ResourceFiles.url("icons/warning.png")
        smooth: true
    }
    SelectableText {
        objectName: "error"
        Layout.fillWidth: true
        color: DepotriumPalette.rust
        text: line.text
    }
}
