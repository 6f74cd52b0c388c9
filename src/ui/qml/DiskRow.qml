import QtQuick
import QtQuick.Layouts
import Depotrium

// A physical disk: name, identifier and volumes on the left; size,
// connection and location on the right.
RowLayout {
    id: row

    // One entry of report.system.disks.
    required property var disk

    spacing: 16

    // Decimal units as disk makers count them: terabytes from 10^12 bytes.
    function sizeText(bytes) {
        return bytes >= 1e12 ? NumberText.fixed(bytes / 1e12, 2) + " TB" : NumberText.fixed(bytes / 1e9, 1) + " GB"
    }
    function locationText(internal) {
        return internal === true ? "Внутренний" : internal === false ? "Внешний" : "Расположение неизвестно"
    }

    ColumnLayout {
        Layout.fillWidth: true
        spacing: 2
        SelectableText {
            Layout.fillWidth: true
            text: row.disk.name
            font.weight: Font.Medium
        }
        SelectableText {
            Layout.fillWidth: true
            font.pixelSize: 11
            color: DepotriumPalette.muted
            text: [row.disk.id].concat(row.disk.volumes || []).join(" · ")
        }
    }
    ColumnLayout {
        Layout.alignment: Qt.AlignTop | Qt.AlignRight
        spacing: 2
        SelectableText {
            objectName: "diskSize"
            Layout.alignment: Qt.AlignRight
            horizontalAlignment: TextEdit.AlignRight
            font.family: "DejaVu Sans Mono"
            text: row.sizeText(row.disk.bytes)
        }
        SelectableText {
            Layout.alignment: Qt.AlignRight
            horizontalAlignment: TextEdit.AlignRight
            font.pixelSize: 11
            color: DepotriumPalette.muted
            text: row.disk.connection + " · " + row.locationText(row.disk.internal)
        }
    }
}
