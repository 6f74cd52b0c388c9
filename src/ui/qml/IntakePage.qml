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

    padding: 28
    background: null

    ColumnLayout {
        width: parent.width
        spacing: 18

        StatusBlock {
            Layout.fillWidth: true
            model: page.model
        }

        RowLayout {
            Layout.fillWidth: true
            visible: !!page.report
            spacing: 24

            Loader {
                Layout.alignment: Qt.AlignTop
                Layout.preferredWidth: 150
                active: page.completed
                visible: active
                sourceComponent: ModelPicture {
                    width: 150
                    model: page.report.system.model
                }
            }
            Loader {
                Layout.fillWidth: true
                Layout.alignment: Qt.AlignTop
                active: !!page.report
                sourceComponent: HardwareSummary {
                    system: page.report.system
                }
            }
        }

        Loader {
            Layout.fillWidth: true
            active: page.completed
            visible: active
            sourceComponent: LabelCard {
                model: page.model
                onExportRequested: page.exportRequested()
            }
        }

        Button {
            objectName: "newRun"
            leftPadding: 14
            rightPadding: 14
            topPadding: 6
            bottomPadding: 6
            visible: page.completed
            text: "Сделать новую опись"
            enabled: !page.model.sending
            onClicked: page.model.start()
        }

        ErrorLine {
            Layout.fillWidth: true
            text: page.model.error
        }
    }
}
