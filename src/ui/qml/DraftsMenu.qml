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
    Accessible.role: Accessible.ButtonMenu
    Accessible.name: text
    text: "Локальные описи (" + model.drafts.length + ")"
    enabled: !model.running && !model.sending
    leftPadding: 10
    rightPadding: 10
    onClicked: menu.open()

    // Untitled drafts are told apart by the start of their id.
    function itemText(draft) {
        return draft.name && draft.name.length > 0 ? draft.name
                                                   : "Без названия · " + String(draft.id).substring(0, 8)
    }

    contentItem: Label {
        text: button.text + "  ▴"
        color: button.enabled ? "white" : Qt.rgba(1, 1, 1, 0.4)
        font.pixelSize: 12
        horizontalAlignment: Text.AlignLeft
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
    }
    background: Rectangle {
        implicitHeight: 30
        radius: 6
        color: button.down ? Qt.rgba(1, 1, 1, 0.16) : button.hovered ? Qt.rgba(1, 1, 1, 0.1) : "transparent"
        border.color: Qt.rgba(1, 1, 1, 0.25)
        border.width: 1

        FocusRing {
            shown: button.visualFocus
            ringColor: "#f2c230"
            anchors.margins: -2
        }
    }

    Menu {
        id: menu
        objectName: "draftsMenuPopup"
        y: -height

        Repeater {
            model: button.model.drafts
            MenuItem {
                id: draftItem
                required property var modelData
                required property int index
                text: button.itemText(modelData)
                Accessible.name: draftItem.text
                onTriggered: button.model.restoreDraft(index)
            }
        }
    }
}
