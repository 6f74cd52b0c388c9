import QtQuick
import Depotrium

// A small secondary line of the form, selectable like every text.
SelectableText {
    color: DepotriumPalette.muted
    font.pixelSize: 11
}
