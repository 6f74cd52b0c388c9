import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Depotrium

// A picture of the computer model with its source, or a generic computer
// when the index has none. The intake page gives it a narrow column, so the
// caption goes under the picture rather than beside it.
ColumnLayout {
    id: picture

    // The model identifier exactly as the report gives it.
    required property string model

    readonly property bool hasImage: lookup.imageUrl.toString().length > 0

    spacing: 6

    ModelPictureSource {
        id: lookup
        model: picture.model
    }

    Image {
        objectName: "modelImage"
        visible: picture.hasImage
        Layout.preferredWidth: Math.min(230, picture.width)
        Layout.preferredHeight: Layout.preferredWidth * 340 / 460
        source: lookup.imageUrl
        sourceSize.width: 460
        fillMode: Image.PreserveAspectFit
        smooth: true
        Accessible.role: Accessible.Graphic
        Accessible.name: "Изображение модели компьютера"
    }
    Image {
        objectName: "modelPlaceholder"
        visible: !picture.hasImage
        Layout.preferredWidth: 110
        Layout.preferredHeight: 110
        source: ResourceFiles.url("icons/desktopcomputer-muted.png")
        fillMode: Image.PreserveAspectFit
        smooth: true
    }
    CaptionText {
        Layout.fillWidth: true
        text: picture.hasImage ? "Изображение модели\n" + lookup.sourceLine : "Иллюстрация устройства"
    }
}
