import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Depotrium

// The settings form: the depot address, used from the next action on and
// not kept between launches.
Pane {
    id: settings

    required property DepotriumModel model

    padding: 20
    background: null

    ColumnLayout {
        width: 510
        spacing: 10

        SelectableText {
            wrapMode: TextEdit.NoWrap
            text: "Адрес склада"
            font.weight: Font.Medium
        }
        TextField {
            objectName: "server"
            Accessible.name: "Адрес склада"
            Layout.fillWidth: true
            selectByMouse: true
            text: settings.model.server
            onTextEdited: settings.model.server = text
        }
        CaptionText {
            Layout.fillWidth: true
            text: "Рабочий адрес: " + ServerLink.defaultServer + "\nДля локальной проверки: http://127.0.0.1:8916"
        }
        CaptionText {
            Layout.fillWidth: true
            text: "Приложение отправляет только собранную опись и результаты после нажатия «Принять на склад»."
        }
    }
}
