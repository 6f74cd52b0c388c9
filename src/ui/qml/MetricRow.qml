import QtQuick
import QtQuick.Layouts
import Depotrium

// One measurement: title and value, the note, and the passes when there
// were several.
ColumnLayout {
    id: row

    // One entry of report.metrics.
    required property var metric

    readonly property var samples: metric.samples || []

    spacing: 3

    RowLayout {
        Layout.fillWidth: true
        spacing: 12
        SelectableText {
            Layout.fillWidth: true
            Layout.alignment: Qt.AlignBaseline
            font.pixelSize: 15
            font.weight: Font.DemiBold
            text: row.metric.title
        }
        SelectableText {
            objectName: "metricValue"
            Layout.alignment: Qt.AlignBaseline
            font.family: "DejaVu Sans Mono"
            font.pixelSize: 15
            text: row.metric.value === undefined || row.metric.value === null
                  ? "Не измерено" : NumberText.fixed(row.metric.value, 1) + " " + row.metric.unit
        }
    }
    SelectableText {
        Layout.fillWidth: true
        font.pixelSize: 11
        color: DepotriumPalette.muted
        text: row.metric.note
    }
    SelectableText {
        objectName: "passes"
        Layout.fillWidth: true
        visible: row.samples.length >= 2
        font.family: "DejaVu Sans Mono"
        font.pixelSize: 11
        text: visible ? "Проходы: " + row.samples.map(sample => NumberText.fixed(sample, 1)).join(" · ") : ""
    }
}
