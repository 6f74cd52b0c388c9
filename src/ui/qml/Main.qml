import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import QtQuick.Dialogs
import Depotrium

// The application's only main window: the sidebar on the left, the selected
// section on the right. Everything shown comes from the model.
ApplicationWindow {
    id: window

    required property DepotriumModel model
    // The collector's sections in table order: [{key, title}].
    required property var sections

    title: "NVX Depotrium"
    width: 1060
    height: 800
    minimumWidth: 940
    minimumHeight: 720
    visible: true
    color: DepotriumPalette.paper
    font.family: "DejaVu Sans"
    font.pixelSize: 13

    // A light scheme with the rust accent, whatever the desktop's theme.
    palette.window: DepotriumPalette.paper
    palette.windowText: DepotriumPalette.ink
    palette.base: "#fffdf7"
    palette.alternateBase: DepotriumPalette.paper
    palette.text: DepotriumPalette.ink
    palette.button: "#ece7da"
    palette.buttonText: DepotriumPalette.ink
    palette.highlight: DepotriumPalette.rust
    palette.highlightedText: "white"
    palette.placeholderText: DepotriumPalette.muted
    palette.mid: "#c9c2b0"
    palette.dark: "#a39c8a"
    palette.light: "white"
    palette.link: DepotriumPalette.rust
    palette.toolTipBase: DepotriumPalette.paper
    palette.toolTipText: DepotriumPalette.ink

    menuBar: MenuBar {
        delegate: MenuBarItem {
            id: barItem
            Accessible.name: barItem.text
        }
        Menu {
            title: "NVX Depotrium"
            Action {
                text: "Настройки…"
                shortcut: "Ctrl+,"
                onTriggered: settingsWindow.openSettings()
            }
            MenuSeparator {}
            Action {
                text: "Выйти"
                shortcut: "Ctrl+Q"
                onTriggered: Qt.quit()
            }
        }
    }

    // Every edit of the label rewrites the draft; the model stores only a
    // completed, unaccepted report.
    Connections {
        target: window.model
        function onNameChanged() { window.model.persist() }
        function onOwnerChanged() { window.model.persist() }
        function onLocationChanged() { window.model.persist() }
        function onDescriptionTextChanged() { window.model.persist() }
    }

    SettingsWindow {
        id: settingsWindow
        model: window.model
    }

    // The desktop's own save dialog where the platform offers one (a portal,
    // GTK, KDE), else Qt's.
    FileDialog {
        id: exportDialog
        objectName: "exportDialog"
        title: "Сохранить JSON"
        acceptLabel: "Сохранить"
        rejectLabel: "Отмена"
        fileMode: FileDialog.SaveFile
        nameFilters: ["JSON (*.json)"]
        defaultSuffix: "json"
        onAccepted: window.model.exportTo(String(selectedFile))
    }

    // Keeps the control with keyboard focus in view: Tab onto a field or a
    // button below the fold scrolls the page to it.
    function revealFocusedControl() {
        const focused = window.activeFocusItem
        const page = pageScroll.contentItem as Flickable
        if (!focused || !page) return
        let inside = focused
        while (inside && inside !== page.contentItem) inside = inside.parent
        if (!inside) return
        const area = focused.mapToItem(page.contentItem, 0, 0, focused.width, focused.height)
        const margin = 12
        if (area.y < page.contentY)
            page.contentY = Math.max(0, area.y - margin)
        else if (area.y + area.height > page.contentY + page.height)
            page.contentY = Math.min(page.contentHeight - page.height, area.y + area.height - page.height + margin)
    }
    // Once more after the layout has settled: a control that appears and
    // takes the focus at once (the record link) has no place before that.
    onActiveFocusItemChanged: {
        revealFocusedControl()
        revealAgain.restart()
    }
    Timer {
        id: revealAgain
        interval: 50
        onTriggered: window.revealFocusedControl()
    }

    function exportReport() {
        exportDialog.currentFolder = ExportLocation.folder()
        exportDialog.selectedFile = ExportLocation.file(window.model.suggestedExportName())
        exportDialog.open()
    }

    RowLayout {
        anchors.fill: parent
        spacing: 0

        Sidebar {
            Layout.preferredWidth: 230
            Layout.fillHeight: true
            model: window.model
        }

        ColumnLayout {
            Layout.fillWidth: true
            Layout.fillHeight: true
            spacing: 0

            TitleBar {
                Layout.fillWidth: true
                tab: window.model.tab
            }

            ScrollView {
                id: pageScroll
                objectName: "pageScroll"
                Layout.fillWidth: true
                Layout.fillHeight: true
                contentWidth: availableWidth
                clip: true

                // The page of the chosen section; the others are hidden.
                Item {
                    width: pageScroll.availableWidth
                    implicitHeight: window.model.tab === 0 ? intake.implicitHeight
                                  : window.model.tab === 1 ? inventory.implicitHeight : results.implicitHeight

                    IntakePage {
                        id: intake
                        width: parent.width
                        visible: window.model.tab === 0
                        model: window.model
                        onExportRequested: window.exportReport()
                    }
                    InventoryPage {
                        id: inventory
                        width: parent.width
                        visible: window.model.tab === 1
                        model: window.model
                        sections: window.sections
                    }
                    ResultsPage {
                        id: results
                        width: parent.width
                        visible: window.model.tab !== 0 && window.model.tab !== 1
                        model: window.model
                    }
                }
            }

            // Errors stay in view whatever the page and however far it is
            // scrolled: the user sees the outcome of the button they pressed.
            ErrorBar {
                Layout.fillWidth: true
                text: window.model.error
            }

            Footer {
                Layout.fillWidth: true
                model: window.model
            }
        }
    }
}
