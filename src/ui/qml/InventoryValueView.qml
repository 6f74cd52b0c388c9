pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Layouts
import Depotrium

// A JSON value of the inventory as nested text: objects as label–value
// rows, arrays as indented lists, scalars as text. Stops descending at
// depth 6, where an object shows only its labels.
ColumnLayout {
    id: view

    required property var value
    required property int depth

    readonly property string kind: Array.isArray(value) ? "array"
                                 : value === null || value === undefined ? "null"
                                 : typeof value === "object" ? "object"
                                 : typeof value
    readonly property bool descends: depth <= 5
    readonly property int labelWidth: depth <= 1 ? 190 : 150

    spacing: 7

    function scalarText() {
        switch (kind) {
        case "string": return value
        case "number": return NumberText.localized(value)
        case "boolean": return value ? "Да" : "Нет"
        default: return "Нет данных"
        }
    }

    // Scalars.
    SelectableText {
        Layout.fillWidth: true
        visible: view.kind !== "object" && view.kind !== "array"
        font.pixelSize: 12
        text: visible ? view.scalarText() : ""
    }

    // An empty array says so.
    SelectableText {
        Layout.fillWidth: true
        visible: view.kind === "array" && view.value.length === 0
        font.pixelSize: 12
        color: DepotriumPalette.muted
        text: "macOS вернула пустой раздел"
    }

    // Object rows, keys in plain text order.
    Repeater {
        model: view.kind === "object" ? Object.keys(view.value).sort() : []
        RowLayout {
            id: row
            required property string modelData
            Layout.fillWidth: true
            spacing: 8

            SelectableText {
                Layout.preferredWidth: view.labelWidth
                Layout.maximumWidth: view.labelWidth
                Layout.alignment: Qt.AlignTop
                font.pixelSize: 12
                color: DepotriumPalette.muted
                text: row.modelData === "_name" ? "Устройство" : row.modelData
            }
            Loader {
                Layout.fillWidth: true
                Layout.alignment: Qt.AlignTop
                active: view.descends
                visible: active
                Component.onCompleted: if (active) setSource("InventoryValueView.qml",
                                                             { value: view.value[row.modelData], depth: view.depth + 1 })
            }
        }
    }

    // Array entries, indented.
    Repeater {
        model: view.kind === "array" && view.descends ? view.value.length : 0
        Loader {
            required property int index
            Layout.fillWidth: true
            Layout.leftMargin: 14
            Component.onCompleted: setSource("InventoryValueView.qml",
                                             { value: view.value[index], depth: view.depth + 1 })
        }
    }
}
