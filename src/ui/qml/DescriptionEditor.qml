import QtQuick
import QtQuick.Controls
import Depotrium

// The free description of the device: several lines, scrolled when long.
// Tab leaves the editor like any other field of the form.
//
// The text is not bound to the model: the editor writes what the user
// types and takes the model's text only when it differs (a restored
// draft), so that the two never chase each other.
Flickable {
    id: frame

    required property DepotriumModel model

    clip: true
    boundsBehavior: Flickable.StopAtBounds
    ScrollBar.vertical: ScrollBar {}

    function takeModelText() {
        if (editor.text !== frame.model.descriptionText) editor.text = frame.model.descriptionText
    }

    Connections {
        target: frame.model
        function onDescriptionTextChanged() { frame.takeModelText() }
    }

    TextArea.flickable: TextArea {
        id: editor
        objectName: "device-description"
        Accessible.name: "Описание"
        wrapMode: TextEdit.Wrap
        selectByMouse: true
        // Lined up with the text of the fields above.
        padding: 4
        leftPadding: 4
        background: Rectangle {
            color: "#fffdf7"
            border.color: editor.activeFocus ? DepotriumPalette.rust : "#b9b2a0"
            border.width: editor.activeFocus ? 2 : 1
            radius: 2
        }
        Component.onCompleted: frame.takeModelText()
        onTextChanged: if (text !== frame.model.descriptionText) frame.model.descriptionText = text
        Keys.onTabPressed: event => {
            const next = editor.nextItemInFocusChain(true)
            if (next) next.forceActiveFocus(Qt.TabFocusReason)
            event.accepted = true
        }
        Keys.onBacktabPressed: event => {
            const previous = editor.nextItemInFocusChain(false)
            if (previous) previous.forceActiveFocus(Qt.BacktabFocusReason)
            event.accepted = true
        }
    }
}
