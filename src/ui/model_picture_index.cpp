#include "model_picture_index.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QJsonDocument>
#include <QJsonObject>

#include "core/resources.h"

namespace nvx {

std::optional<ModelPictureEntry> lookupModelPicture(const QString& model, const std::filesystem::path& resources) {
    if (resources.empty()) return std::nullopt;
    const QDir folder(QString::fromStdString(resources.string()));
    QFile indexFile(folder.filePath(QStringLiteral("model-images.json")));
    if (!indexFile.open(QIODevice::ReadOnly)) return std::nullopt;
    const QJsonDocument document = QJsonDocument::fromJson(indexFile.readAll());
    if (!document.isObject()) return std::nullopt;
    const QJsonValue images = document.object().value(QStringLiteral("images"));
    if (!images.isObject()) return std::nullopt;
    // Every entry must be an object, or the index is not the expected kind.
    const QJsonObject entries = images.toObject();
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        if (!it.value().isObject()) return std::nullopt;
    }
    const auto found = entries.constFind(model);  // exact, case-sensitive
    if (found == entries.constEnd()) return std::nullopt;
    const QJsonObject entry = found.value().toObject();
    const QJsonValue path = entry.value(QStringLiteral("path"));
    if (!path.isString()) return std::nullopt;
    // Only the file name counts: the pictures all live in device-images.
    const QString file = QFileInfo(path.toString()).fileName();
    if (file.isEmpty()) return std::nullopt;
    // Decoded whole, not only its header: a truncated or damaged file must
    // give the placeholder, not a blank area.
    QImageReader reader(folder.filePath(QStringLiteral("device-images/") + file));
    if (reader.read().isNull()) return std::nullopt;
    const QJsonValue source = entry.value(QStringLiteral("source"));
    return ModelPictureEntry{file, source.isString() ? source.toString() : QString()};
}

void ModelPictureSource::setModel(const QString& model) {
    if (model == model_ && !imageUrl_.isEmpty()) return;
    model_ = model;
    const auto resources = resourceDirectory();
    const auto entry = lookupModelPicture(model, resources);
    if (entry) {
        const QDir folder(QString::fromStdString(resources.string()));
        imageUrl_ = QUrl::fromLocalFile(folder.filePath(QStringLiteral("device-images/") + entry->file));
        sourceLine_ = QStringLiteral("Источник: ") + (entry->source.isEmpty() ? QStringLiteral("Apple") : entry->source);
    } else {
        imageUrl_.clear();
        sourceLine_.clear();
    }
    emit changed();
}

}  // namespace nvx
