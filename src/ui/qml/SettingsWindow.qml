import QtQuick
import QtQuick.Controls
import Depotrium

// The settings in a window of their own (the application menu's
// "Настройки…", Ctrl+,), sharing the main window's model.
ApplicationWindow {
    id: settingsWindow

    required property DepotriumModel model

    title: "Настройки"
    width: form.implicitWidth
    height: form.implicitHeight
    minimumWidth: form.implicitWidth
    minimumHeight: form.implicitHeight
    color: DepotriumPalette.paper
    font.family: "DejaVu Sans"
    font.pixelSize: 13
    palette.window: DepotriumPalette.paper
    palette.windowText: DepotriumPalette.ink
    palette.base: "#fffdf7"
    palette.text: DepotriumPalette.ink
    palette.highlight: DepotriumPalette.rust
    palette.highlightedText: "white"
    palette.placeholderText: DepotriumPalette.muted

    function openSettings() {
        show()
        raise()
        requestActivate()
    }

    DepotriumSettings {
        id: form
        model: settingsWindow.model
    }
}
