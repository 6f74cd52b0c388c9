import QtQuick
import Depotrium

// Text of the form: the user can select and copy it (mouse, then Ctrl+C),
// and assistive technology reads it as static text.
TextEdit {
    readOnly: true
    selectByMouse: true
    activeFocusOnTab: false
    wrapMode: TextEdit.Wrap
    color: DepotriumPalette.ink
    selectionColor: DepotriumPalette.rust
    selectedTextColor: "white"
    font.family: "DejaVu Sans"
    font.pixelSize: 13
    textFormat: TextEdit.PlainText
    Accessible.role: Accessible.StaticText
    Accessible.name: text
    Accessible.selectableText: true
}
