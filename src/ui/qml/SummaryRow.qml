import QtQuick
import QtQuick.Layouts
import Depotrium

// One "label — value" line of the hardware summary.
RowLayout {
    id: row

    required property string label
    required property string value

    spacing: 12

    SelectableText {
        Layout.preferredWidth: 138
        Layout.alignment: Qt.AlignTop
        color: DepotriumPalette.muted
        text: row.label
    }
    SelectableText {
        Layout.fillWidth: true
        Layout.alignment: Qt.AlignTop
        text: row.value
    }
}
