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

        Label {
            text: "Бирка устройства"
            color: DepotriumPalette.ink
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

            Label { text: "Название"; color: DepotriumPalette.muted }
            TextField {
                objectName: "device-name"
                Accessible.name: "Название"
                Layout.fillWidth: true
                placeholderText: "Как называется компьютер"
                text: card.model.name
                onTextEdited: card.model.name = text
            }
            Label { text: "Владелец"; color: DepotriumPalette.muted }
            TextField {
                objectName: "device-owner"
                Accessible.name: "Владелец"
                Layout.fillWidth: true
                placeholderText: "Кому принадлежит"
                text: card.model.owner
                onTextEdited: card.model.owner = text
            }
            Label { text: "Локация"; color: DepotriumPalette.muted }
            LocationAutocomplete {
                objectName: "device-location"
                Layout.fillWidth: true
                text: card.model.location
                suggestions: card.model.locationSuggestions
                onEdited: value => card.model.location = value
            }
            Label {
                Layout.alignment: Qt.AlignTop
                Layout.topMargin: 6
                text: "Описание"
                color: DepotriumPalette.muted
            }
            ScrollView {
                Layout.fillWidth: true
                Layout.preferredHeight: 72
                TextArea {
                    objectName: "device-description"
                    background: Rectangle {
                        color: "#fffdf7"
                        border.color: "#b9b2a0"
                        border.width: 1
                        radius: 2
                    }
                    Accessible.name: "Описание"
                    wrapMode: TextEdit.Wrap
                    text: card.model.descriptionText
                    // Written back only when the user typed, so a restored
                    // draft does not echo into the model.
                    onTextChanged: if (activeFocus && text !== card.model.descriptionText) card.model.descriptionText = text
                }
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
                objectName: "submit"
                Accessible.name: text
                text: card.model.sending ? "Проверяем сохранение…"
                    : card.model.savedURL.length > 0 ? "Опись принята" : "Принять на склад"
                enabled: card.model.canSubmit
                onClicked: card.model.send()
            }
            Button {
                objectName: "export"
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
                visible: card.model.sending
                running: visible
                Layout.preferredWidth: 24
                Layout.preferredHeight: 24
            }
            Label {
                objectName: "openRecord"
                visible: card.model.savedURL.length > 0
                text: "<a href=\"record\">Открыть опись на сайте</a>"
                textFormat: Text.StyledText
                linkColor: DepotriumPalette.rust
                onLinkActivated: Qt.openUrlExternally(card.model.savedURL)
            }
            Item { Layout.fillWidth: true }
        }
    }
}
