pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls
import Depotrium

// "Локальные описи (N)": the stored drafts, newest first; choosing one puts
// it into the form.
Button {
    id: button

    required property DepotriumModel model

    objectName: "draftsMenu"
    text: "Локальные описи (" + model.drafts.length + ")"
    enabled: !model.running && !model.sending
    onClicked: menu.open()

    // Untitled drafts are told apart by the start of their id.
    function itemText(draft) {
        return draft.name && draft.name.length > 0 ? draft.name
                                                   : "Без названия · " + String(draft.id).substring(0, 8)
    }

    Menu {
        id: menu
        objectName: "draftsMenuPopup"
        y: -height

        Repeater {
            model: button.model.drafts
            MenuItem {
                required property var modelData
                required property int index
                text: button.itemText(modelData)
                onTriggered: button.model.restoreDraft(index)
            }
        }
    }
}
