import QtQuick
import QtQuick.Layouts
import Depotrium

// A picture of the computer model with its source, or a generic computer
// when the index has none. The intake page gives it a narrow column, so the
// caption goes under the picture rather than beside it.
ColumnLayout {
    id: picture

    // The model identifier exactly as the report gives it.
    required property string model
    // How wide the picture is drawn: at most 230. A fixed number, not the
    // item's width, which the layout derives from the picture in turn.
    property real pictureWidth: 230

    // A picture that fails to load after all (the file changed since the
    // lookup decoded it) gives the placeholder too.
    readonly property bool hasImage: lookup.found && modelImage.status !== Image.Error

    spacing: 6

    ModelPictureSource {
        id: lookup
        model: picture.model
    }

    Image {
        id: modelImage
        objectName: "modelImage"
        visible: picture.hasImage
        Layout.preferredWidth: Math.min(230, picture.pictureWidth)
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
        sourceSize.width: 220
        sourceSize.height: 220
        fillMode: Image.PreserveAspectFit
        smooth: true
        Accessible.role: Accessible.Graphic
        Accessible.name: "Иллюстрация устройства"
    }
    CaptionText {
        Layout.fillWidth: true
        text: picture.hasImage ? "Изображение модели\n" + lookup.sourceLine : "Иллюстрация устройства"
    }
}
