import QtQuick
import QtQuick.Controls
import Depotrium

// A small secondary line of the form.
Label {
    wrapMode: Text.Wrap
    color: DepotriumPalette.muted
    font.pixelSize: 11
    textFormat: Text.PlainText
}
