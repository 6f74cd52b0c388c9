import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Depotrium

// Section 1: the collected hardware, section by section.
Pane {
    id: page

    required property DepotriumModel model
    required property var sections

    readonly property var report: model.report
    readonly property var inventory: report ? report.inventory : undefined
    readonly property bool inventoryIsObject: !!inventory && typeof inventory === "object" && !Array.isArray(inventory)

    padding: 28
    background: null

    ColumnLayout {
        width: parent.width
        spacing: 12
        visible: !!page.report

        HardwareSummary {
            Layout.fillWidth: true
            system: page.report ? page.report.system : null
        }
        SelectableText {
            Layout.topMargin: 14
            wrapMode: TextEdit.NoWrap
            text: "Подробная опись macOS"
            font.pixelSize: 17
            font.weight: Font.DemiBold
        }
        CaptionText {
            Layout.fillWidth: true
            font.pixelSize: 12
            text: "Серийные номера и исходные UUID исключены. Для истории используется производный идентификатор устройства. Недоступные разделы отмечаются отдельно."
        }
        Divider { Layout.fillWidth: true }
        Repeater {
            // The known sections the report holds, in table order, each with
            // its value.
            model: page.inventoryIsObject
                   ? page.sections.filter(section => page.inventory.hasOwnProperty(section.key))
                                  .map(section => ({ title: section.title, value: page.inventory[section.key] }))
                   : []
            InventorySection {
                required property var modelData
                Layout.fillWidth: true
                title: modelData.title
                value: modelData.value
            }
        }
        Repeater {
            model: page.report ? (page.report.warnings || []) : []
            CaptionText {
                required property string modelData
                Layout.fillWidth: true
                color: DepotriumPalette.rust
                font.pixelSize: 12
                text: modelData
            }
        }
    }

    SelectableText {
        visible: !page.report
        width: parent.width
        color: DepotriumPalette.muted
        text: "Начните опись на вкладке «Приёмка». Здесь появится оборудование именно этого Mac."
    }
}
