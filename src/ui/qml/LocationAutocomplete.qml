pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls

// The location field: a text field with a list of the places typed before.
// Typing at the end completes the text with the first place that starts
// with it and selects the proposed rest, so typing on replaces it. Every
// change is written through at once.
//
// The field owns its text while the user types: each keystroke stores the
// draft, which changes the list under the field, and nothing of that may
// reach the text, the cursor or the selection. Only a location that differs
// from what the field shows (a restored draft) replaces the text.
TextField {
    id: field

    // The location to show, from the model.
    required property string location
    // The places of the list, in the order given.
    required property var suggestions
    // The user changed the text: a keystroke, a paste or a picked place.
    signal edited(string value)

    // What the user typed, without a proposed completion: a keystroke that
    // adds to it at the end is what asks for a completion.
    property string typed: ""
    // Whether the list below the field is shown.
    readonly property alias listShown: list.visible

    Accessible.name: "Локация"
    Accessible.description: "Стрелка вниз открывает список мест."
    rightPadding: indicator.width + 6
    selectByMouse: true

    // The first place that starts with `prefix` and is longer than it.
    function completionFor(prefix) {
        for (let i = 0; i < field.suggestions.length; ++i) {
            const place = field.suggestions[i]
            if (place.length > prefix.length && place.startsWith(prefix)) return place
        }
        return ""
    }
    function pick(place) {
        list.close()
        if (place === text) return
        text = place
        typed = place
        cursorPosition = place.length
        edited(place)
    }
    function showList() {
        const at = Array.from(field.suggestions).indexOf(text)
        choices.currentIndex = at >= 0 ? at : 0
        list.open()
    }

    Component.onCompleted: {
        text = location
        typed = location
    }
    onLocationChanged: {
        if (location === text) return
        text = location
        typed = location
    }
    onTextEdited: {
        const addedAtEnd = text.length > typed.length && text.startsWith(typed) && cursorPosition === text.length
        typed = text
        if (addedAtEnd) {
            const place = completionFor(text)
            if (place.length > 0) {
                const start = text.length
                text = place
                select(start, place.length)
            }
        }
        edited(text)
    }
    onActiveFocusChanged: if (!activeFocus) list.close()

    Keys.onPressed: event => {
        if (event.key === Qt.Key_Down || event.key === Qt.Key_Up) {
            if (!list.visible) {
                field.showList()
            } else if (event.key === Qt.Key_Down) {
                choices.incrementCurrentIndex()
            } else {
                choices.decrementCurrentIndex()
            }
            event.accepted = true
        } else if (list.visible && (event.key === Qt.Key_Return || event.key === Qt.Key_Enter)) {
            if (choices.currentIndex >= 0) field.pick(field.suggestions[choices.currentIndex])
            event.accepted = true
        } else if (list.visible && event.key === Qt.Key_Escape) {
            list.close()
            event.accepted = true
        }
    }

    AbstractButton {
        id: indicator
        objectName: "locationListButton"
        anchors.right: parent.right
        anchors.top: parent.top
        anchors.bottom: parent.bottom
        width: 24
        focusPolicy: Qt.NoFocus
        enabled: field.enabled
        Accessible.role: Accessible.ButtonDropDown
        Accessible.name: "Список мест"
        onClicked: {
            field.forceActiveFocus()
            if (list.visible) list.close()
            else field.showList()
        }
        contentItem: Text {
            text: "▾"
            color: field.palette.text
            font.pixelSize: 14
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
        }
        background: Rectangle {
            color: indicator.pressed ? field.palette.mid : "transparent"
            Rectangle {
                width: 1
                height: parent.height - 6
                anchors.verticalCenter: parent.verticalCenter
                color: field.palette.mid
            }
        }
    }

    Popup {
        id: list
        objectName: "locationList"
        y: field.height
        width: field.width
        height: Math.min(choices.contentHeight + 2, 220)
        padding: 1
        // The keyboard stays in the field: arrows and Return are handled
        // there, and typing goes on while the list is open.
        focus: false
        closePolicy: Popup.CloseOnPressOutsideParent

        ListView {
            id: choices
            anchors.fill: parent
            clip: true
            model: field.suggestions
            currentIndex: -1
            highlightMoveDuration: 0
            Accessible.role: Accessible.List
            Accessible.name: "Места"
            delegate: ItemDelegate {
                id: choice
                required property string modelData
                required property int index
                width: ListView.view.width
                text: modelData
                focusPolicy: Qt.NoFocus
                highlighted: ListView.isCurrentItem
                Accessible.role: Accessible.ListItem
                Accessible.name: choice.modelData
                onClicked: field.pick(choice.modelData)
            }
        }
        background: Rectangle {
            color: field.palette.base
            border.color: field.palette.mid
        }
    }
}
