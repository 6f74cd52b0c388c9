#pragma once

#include <QObject>
#include <QString>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

#include <filesystem>
#include <optional>

namespace nvx {

// A picture of a computer model from the bundled index.
struct ModelPictureEntry {
    QString file;    // the image file inside device-images/
    QString source;  // the index entry's "source", empty when it has none
};

// Looks `model` up, exactly as written, in "model-images.json" of
// `resources` and checks that the image named by the last component of the
// entry's "path" decodes in full from its "device-images" folder. Every
// failure on the way means no picture.
std::optional<ModelPictureEntry> lookupModelPicture(const QString& model, const std::filesystem::path& resources);

// The lookup for QML: set `model`, read `imageUrl` (empty without a
// picture) and the caption's `sourceLine`.
class ModelPictureSource : public QObject {
    Q_OBJECT
    QML_ELEMENT
    // The model identifier of the report's summary.
    Q_PROPERTY(QString model READ model WRITE setModel NOTIFY changed)
    // Whether the index has a picture for the model and it decodes.
    Q_PROPERTY(bool found READ found NOTIFY changed)
    // The picture's file address; empty when there is none.
    Q_PROPERTY(QUrl imageUrl READ imageUrl NOTIFY changed)
    // "Источник: " and the entry's source, "Источник: Apple" when it names none.
    Q_PROPERTY(QString sourceLine READ sourceLine NOTIFY changed)

public:
    using QObject::QObject;
    QString model() const { return model_; }
    void setModel(const QString& model);
    bool found() const { return !imageUrl_.isEmpty(); }
    QUrl imageUrl() const { return imageUrl_; }
    QString sourceLine() const { return sourceLine_; }

signals:
    void changed();

private:
    QString model_;
    QUrl imageUrl_;
    QString sourceLine_;
};

}  // namespace nvx
