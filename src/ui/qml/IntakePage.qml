import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Depotrium

// Section 0: start a run, watch it, label the device and hand it over.
Pane {
    id: page

    required property DepotriumModel model
    signal exportRequested()

    readonly property var report: model.report
    readonly property bool completed: !!report && report.completed === true

    // Keyboard focus stays on something the user can act on: when the
    // focused control goes away (a run starts or ends, a submission is
    // accepted), the next action of the page takes it.
    function settleFocus() {
        const current = page.Window.activeFocusItem
        if (current && current.visible && current.enabled && current.activeFocusOnTab) return
        const next = card.visible ? card.nextAction() : status.nextAction()
        if (next) next.forceActiveFocus(Qt.TabFocusReason)
    }
    // After the change that hid the focused control has been laid out.
    Timer {
        id: focusSettler
        interval: 0
        onTriggered: page.settleFocus()
    }
    Connections {
        target: page.model
        function onRunningChanged() { focusSettler.restart() }
        function onSendingChanged() { focusSettler.restart() }
        function onReportChanged() { focusSettler.restart() }
    }
    Component.onCompleted: focusSettler.restart()

    padding: 28
    background: null

    ColumnLayout {
        width: parent.width
        spacing: 18

        StatusBlock {
            id: status
            Layout.fillWidth: true
            model: page.model
        }

        RowLayout {
            Layout.fillWidth: true
            visible: !!page.report
            spacing: 24

            // The picture only once the run is complete.
            ModelPicture {
                Layout.alignment: Qt.AlignTop
                Layout.preferredWidth: 150
                visible: page.completed
                pictureWidth: 150
                model: page.completed ? page.report.system.model : ""
            }
            HardwareSummary {
                Layout.fillWidth: true
                Layout.alignment: Qt.AlignTop
                system: page.report ? page.report.system : null
            }
        }

        LabelCard {
            id: card
            Layout.fillWidth: true
            visible: page.completed
            model: page.model
            onExportRequested: page.exportRequested()
        }

        Button {
            objectName: "newRun"
            Accessible.name: text
            leftPadding: 14
            rightPadding: 14
            topPadding: 6
            bottomPadding: 6
            visible: page.completed
            text: "Сделать новую опись"
            enabled: !page.model.sending
            onClicked: page.model.start()
        }
    }
}
