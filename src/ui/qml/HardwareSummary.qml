import QtQuick
import QtQuick.Layouts
import Depotrium

// The hardware summary of a report: model with its catalog matches, chip,
// memory, cores, graphics, system, then the physical disks.
ColumnLayout {
    id: summary

    // report.system, as the report document writes it; null while there is
    // no report, which hides the summary.
    required property var system

    readonly property var facts: system ? system : ({})
    readonly property var matches: facts.model_matches || []
    readonly property var disks: facts.disks

    visible: !!system

    spacing: 8

    // A value of the summary as text; nothing while there is no summary.
    function textOf(value) {
        return value === undefined || value === null ? "" : String(value)
    }
    function memoryText(bytes) {
        return NumberText.fixed(bytes / 1073741824, 0) + " GB"
    }

    SummaryRow {
        label: "Модель"
        value: summary.textOf(summary.facts.model)
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
        LinkButton {
            objectName: "catalogLink"
            address: summary.matches.length === 1 ? String(summary.matches[0].source) : ""
            visible: /^[a-zA-Z][a-zA-Z0-9+.-]*:\/\/[^\s]+$/.test(address)
            text: "Справочник Apple"
        }
    }
    SummaryRow { label: "Процессор"; value: summary.textOf(summary.facts.chip); Layout.fillWidth: true }
    SummaryRow { label: "Память"; value: summary.memoryText(summary.facts.memory_bytes); Layout.fillWidth: true }
    SummaryRow { label: "Ядра процессора"; value: summary.textOf(summary.facts.physical_cores); Layout.fillWidth: true }
    SummaryRow { label: "Потоки процессора"; value: summary.textOf(summary.facts.logical_cores); Layout.fillWidth: true }
    SummaryRow {
        label: "Графика"
        value: summary.facts.gpu && summary.facts.gpu.length > 0 ? summary.facts.gpu.join(", ") : "Нет данных"
        Layout.fillWidth: true
    }
    SummaryRow { label: "macOS"; value: summary.textOf(summary.facts.os); Layout.fillWidth: true }

    SelectableText {
        Layout.topMargin: 12
        wrapMode: TextEdit.NoWrap
        text: "Накопители"
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
