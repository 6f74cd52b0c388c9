import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Depotrium

// "Бирка устройства": the label fields of a completed report and the
// hand-over to the depot.
Rectangle {
    id: card

    required property DepotriumModel model
    signal exportRequested()

    readonly property bool fieldsEnabled: !model.sending && model.savedURL.length === 0

    // The control the keyboard should be on: the record after acceptance,
    // the submit button once it can be used, else the first empty field.
    function nextAction() {
        if (card.model.sending) return null
        if (card.model.savedURL.length > 0) return recordLink
        if (card.model.canSubmit) return submitButton
        for (const field of [nameField, ownerField, locationField]) {
            if (field.text.trim().length === 0) return field
        }
        return nameField
    }

    implicitHeight: content.implicitHeight + 40
    radius: 10
    color: Qt.rgba(1, 1, 1, 0.45)
    border.color: DepotriumPalette.ink
    border.width: 1

    ColumnLayout {
        id: content
        anchors.fill: parent
        anchors.margins: 20
        spacing: 12

        SelectableText {
            wrapMode: TextEdit.NoWrap
            text: "Бирка устройства"
            font.pixelSize: 16
            font.weight: Font.DemiBold
        }

        GridLayout {
            Layout.fillWidth: true
            columns: 2
            columnSpacing: 14
            rowSpacing: 10
            enabled: card.fieldsEnabled
            opacity: enabled ? 1 : 0.6

            SelectableText { text: "Название"; color: DepotriumPalette.muted; wrapMode: TextEdit.NoWrap }
            TextField {
                id: nameField
                objectName: "device-name"
                Accessible.name: "Название"
                Layout.fillWidth: true
                placeholderText: "Как называется компьютер"
                selectByMouse: true
                text: card.model.name
                onTextEdited: card.model.name = text
            }
            SelectableText { text: "Владелец"; color: DepotriumPalette.muted; wrapMode: TextEdit.NoWrap }
            TextField {
                id: ownerField
                objectName: "device-owner"
                Accessible.name: "Владелец"
                Layout.fillWidth: true
                placeholderText: "Кому принадлежит"
                selectByMouse: true
                text: card.model.owner
                onTextEdited: card.model.owner = text
            }
            SelectableText { text: "Локация"; color: DepotriumPalette.muted; wrapMode: TextEdit.NoWrap }
            LocationAutocomplete {
                id: locationField
                objectName: "device-location"
                Layout.fillWidth: true
                location: card.model.location
                suggestions: card.model.locationSuggestions
                onEdited: value => card.model.location = value
            }
            SelectableText {
                Layout.alignment: Qt.AlignTop
                Layout.topMargin: 6
                wrapMode: TextEdit.NoWrap
                text: "Описание"
                color: DepotriumPalette.muted
            }
            DescriptionEditor {
                Layout.fillWidth: true
                Layout.preferredHeight: 72
                model: card.model
            }
        }

        CaptionText {
            Layout.fillWidth: true
            text: "Все три поля обязательны. Повторная опись дополнит историю этого устройства."
        }

        RowLayout {
            Layout.fillWidth: true
            spacing: 12

            ProminentButton {
                id: submitButton
                objectName: "submit"
                text: card.model.sending ? "Проверяем сохранение…"
                    : card.model.savedURL.length > 0 ? "Опись принята" : "Принять на склад"
                enabled: card.model.canSubmit
                onClicked: card.model.send()
            }
            Button {
                objectName: "export"
                Accessible.name: text
                leftPadding: 14
                rightPadding: 14
                topPadding: 6
                bottomPadding: 6
                text: "Сохранить JSON…"
                enabled: !card.model.sending
                onClicked: card.exportRequested()
            }
            BusyIndicator {
                objectName: "sendingSpinner"
                Accessible.name: "Проверяем сохранение"
                visible: card.model.sending
                running: visible
                Layout.preferredWidth: 24
                Layout.preferredHeight: 24
            }
            LinkButton {
                id: recordLink
                objectName: "openRecord"
                visible: card.model.savedURL.length > 0
                text: "Открыть опись на сайте"
                address: card.model.savedURL
            }
            Item { Layout.fillWidth: true }
        }
    }
}
