import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Depotrium

// Section 2: the measurements of a completed report.
Pane {
    id: page

    required property DepotriumModel model

    readonly property var report: model.report
    readonly property bool completed: !!report && report.completed === true

    padding: 28
    background: null

    ColumnLayout {
        width: parent.width
        spacing: 12
        visible: page.completed

        SelectableText {
            Layout.fillWidth: true
            color: DepotriumPalette.muted
            text: page.completed ? "Тест " + page.report.benchmark_version + ". Измерения выполнены на этом компьютере, без браузера." : ""
        }
        Divider { Layout.fillWidth: true }
        Repeater {
            model: page.completed ? page.report.metrics : []
            ColumnLayout {
                id: entry
                required property var modelData
                Layout.fillWidth: true
                spacing: 10
                MetricRow {
                    Layout.fillWidth: true
                    metric: entry.modelData
                }
                Divider { Layout.fillWidth: true }
            }
        }
        CaptionText {
            Layout.fillWidth: true
            font.pixelSize: 12
            text: "Это короткие синтетические тесты. Они не прогнозируют скорость монтажа, дебайеринга или рендера конкретного проекта. Сравнивайте одинаковые версии тестов и параметры нагрузки."
        }
    }

    SelectableText {
        objectName: "resultsPlaceholder"
        visible: !page.completed
        width: parent.width
        color: DepotriumPalette.muted
        text: page.model.running ? "Испытания ещё идут. Незавершённые результаты не выдаются за готовые."
                                 : "Результаты появятся после описи и теста."
    }
}
