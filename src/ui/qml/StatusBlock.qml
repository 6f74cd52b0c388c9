import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Depotrium

// The status line and what can be done from here: progress and stop while
// a run goes on, the start block before the first completed report.
ColumnLayout {
    id: block

    required property DepotriumModel model

    readonly property bool hasCompletedReport: !!model.report && model.report.completed === true

    spacing: 10

    // The control the keyboard should be on: stop during a run, else start.
    function nextAction() {
        if (block.model.running) return stopButton
        return block.hasCompletedReport ? null : startButton
    }

    SelectableText {
        objectName: "stage"
        Layout.fillWidth: true
        text: block.model.stage
        font.pixelSize: 16
        font.weight: Font.Medium
    }

    ColumnLayout {
        Layout.fillWidth: true
        visible: block.model.running
        spacing: 10

    // The control the keyboard should be on: stop during a run, else start.
    function nextAction() {
        if (block.model.running) return stopButton
        return block.hasCompletedReport ? null : startButton
    }

        ProgressBar {
            objectName: "progress"
            Accessible.name: "Ход описи"
            Layout.fillWidth: true
            from: 0
            to: 1
            value: block.model.progress
        }
        CaptionText {
            Layout.fillWidth: true
            font.pixelSize: 12
            text: "Сбор сведений может занять до полутора минут. Во время измерений оставьте компьютер без другой нагрузки."
        }
        Button {
            id: stopButton
            objectName: "stop"
            Accessible.name: text
            leftPadding: 14
            rightPadding: 14
            topPadding: 6
            bottomPadding: 6
            text: "Остановить"
            onClicked: block.model.cancel()
        }
    }

    ColumnLayout {
        Layout.fillWidth: true
        visible: !block.model.running && !block.hasCompletedReport
        spacing: 10

    // The control the keyboard should be on: stop during a run, else start.
    function nextAction() {
        if (block.model.running) return stopButton
        return block.hasCompletedReport ? null : startButton
    }

        SelectableText {
            Layout.fillWidth: true
            color: DepotriumPalette.muted
            text: "Процессор, память, графика, накопители и подключённые устройства — в одной описи. Затем проверим скорость этого Mac."
        }
        CheckBox {
            objectName: "includeDisk"
            Accessible.name: text
            text: "Проверить диск временным файлом 128 МиБ"
            checked: block.model.includeDisk
            onToggled: block.model.includeDisk = checked
        }
        CaptionText {
            Layout.fillWidth: true
            text: "Временный файл будет удалён после теста. Пользовательские файлы не изменяются."
        }
        ProminentButton {
            id: startButton
            objectName: "start"
            Layout.topMargin: 4
            text: "Начать опись и тест"
            font.pixelSize: 15
            topPadding: 12
            bottomPadding: 12
            leftPadding: 24
            rightPadding: 24
            onClicked: block.model.start()
        }
    }
}
