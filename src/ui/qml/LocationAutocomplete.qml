import QtQuick
import QtQuick.Controls
import Depotrium

// The location field: an editable combo box listing the places typed
// before. The combo box completes typed text with the first item that
// starts with it; every change is written through at once.
ComboBox {
    id: field

    // The location shown; set from the model.
    property string text
    // The drop-down items, in the order given.
    property var suggestions: []
    // The user changed the text (a keystroke or a picked item).
    signal edited(string value)

    // True while the field itself writes editText, so that the write is not
    // taken for the user's.
    property bool applying: false

    editable: true
    model: []
    currentIndex: -1
    font.family: "DejaVu Sans"
    font.pixelSize: 13
    Accessible.name: "Локация"

    function sameList(a, b) {
        if (a.length !== b.length) return false
        for (let i = 0; i < a.length; ++i) {
            if (a[i] !== b[i]) return false
        }
        return true
    }
    function applyText() {
        if (editText === text) return
        applying = true
        editText = text
        applying = false
    }
    // Replacing the items closes an open list, so an equal list is kept.
    function applySuggestions() {
        const next = suggestions ? Array.from(suggestions) : []
        if (sameList(model, next)) return
        applying = true
        model = next
        currentIndex = -1
        applying = false
        applyText()
    }

    // Keyboard focus belongs in the text field, also when it comes by Tab.
    onActiveFocusChanged: if (activeFocus && contentItem) contentItem.forceActiveFocus()
    onTextChanged: applyText()
    onSuggestionsChanged: applySuggestions()
    // Only the user's typing is written through. The combo box itself may
    // reset its text when its item list changes; that is not an edit, and
    // the location is put back.
    onEditTextChanged: {
        if (applying || editText === text) return
        if (contentItem && contentItem.activeFocus)
            edited(editText)
        else
            Qt.callLater(applyText)
    }
    onActivated: index => {
        if (index >= 0 && index < model.length) {
            const picked = model[index]
            if (picked !== text) edited(picked)
        }
    }
    Component.onCompleted: {
        applySuggestions()
        applyText()
    }
}
