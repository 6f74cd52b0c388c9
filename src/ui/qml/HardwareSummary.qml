pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Depotrium

// The hardware summary of a report: model with its catalog matches, chip,
// memory, cores, graphics, system, then the physical disks.
ColumnLayout {
    id: summary

    // report.system, as the report document writes it.
    required property var system

    readonly property var matches: system.model_matches || []
    readonly property var disks: system.disks

    spacing: 8

    function memoryText(bytes) {
        return NumberText.fixed(bytes / 1073741824, 0) + " GB"
    }

    SummaryRow {
        label: "Модель"
        value: summary.system.model
        Layout.fillWidth: true
    }
    ColumnLayout {
        Layout.fillWidth: true
        Layout.leftMargin: 150
        spacing: 2

        CaptionText {
            visible: summary.matches.length === 0
            text: "Модель не найдена в справочнике"
        }
        Repeater {
            model: summary.matches
            SelectableText {
                required property var modelData
                Layout.fillWidth: true
                text: modelData.name
            }
        }
        CaptionText {
            visible: summary.matches.length > 1
            text: "Идентификатор подходит нескольким вариантам модели"
        }
        Label {
            readonly property string address: summary.matches.length === 1 ? String(summary.matches[0].source) : ""
            visible: /^[a-zA-Z][a-zA-Z0-9+.-]*:\/\/[^\s]+$/.test(address)
            text: "<a href=\"" + address + "\">Справочник Apple</a>"
            textFormat: Text.StyledText
            linkColor: DepotriumPalette.rust
            font.pixelSize: 12
            onLinkActivated: link => Qt.openUrlExternally(link)
        }
    }
    SummaryRow { label: "Процессор"; value: summary.system.chip; Layout.fillWidth: true }
    SummaryRow { label: "Память"; value: summary.memoryText(summary.system.memory_bytes); Layout.fillWidth: true }
    SummaryRow { label: "Ядра процессора"; value: String(summary.system.physical_cores); Layout.fillWidth: true }
    SummaryRow { label: "Потоки процессора"; value: String(summary.system.logical_cores); Layout.fillWidth: true }
    SummaryRow {
        label: "Графика"
        value: summary.system.gpu && summary.system.gpu.length > 0 ? summary.system.gpu.join(", ") : "Нет данных"
        Layout.fillWidth: true
    }
    SummaryRow { label: "macOS"; value: summary.system.os; Layout.fillWidth: true }

    Label {
        Layout.topMargin: 12
        text: "Накопители"
        color: DepotriumPalette.ink
        font.pixelSize: 15
        font.weight: Font.DemiBold
    }
    Divider { Layout.fillWidth: true }
    SelectableText {
        Layout.fillWidth: true
        visible: summary.disks === undefined || summary.disks === null
        color: DepotriumPalette.rust
        text: "Подробный список накопителей не был собран. Причина указана в описи."
    }
    SelectableText {
        Layout.fillWidth: true
        visible: !!summary.disks && summary.disks.length === 0
        color: DepotriumPalette.muted
        text: "macOS не сообщила о физических накопителях."
    }
    Repeater {
        model: summary.disks || []
        DiskRow {
            required property var modelData
            Layout.fillWidth: true
            disk: modelData
        }
    }
    CaptionText {
        Layout.fillWidth: true
        visible: !!summary.disks && summary.disks.length > 0
        text: "Все физические накопители и массивы, которые видит macOS. Диски за RAID-контроллером могут отображаться одним массивом. Имена APFS-томов — в подробной описи."
    }
}
