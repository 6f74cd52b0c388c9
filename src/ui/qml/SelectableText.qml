import QtQuick
import Depotrium

// Body text that the user can select and copy.
TextEdit {
    readOnly: true
    selectByMouse: true
    wrapMode: TextEdit.Wrap
    color: DepotriumPalette.ink
    selectionColor: DepotriumPalette.rust
    selectedTextColor: "white"
    font.family: "DejaVu Sans"
    font.pixelSize: 13
    textFormat: TextEdit.PlainText
}
