#include <exception>
#include <system_error>
#include <utility>

#include <QUrl>

#include "app/depotrium_model.h"
#include "app/draft_files.h"
#include "app/label_text.h"
#include "app/model_private.h"
#include "core/errors.h"
#include "core/files.h"

namespace nvx {

void DepotriumModel::send() {
    if (!canSubmit()) return;
    const auto snapshot = this->snapshot();
    if (!snapshot) return;
    if (!labelFitsLimits(name_, owner_, location_)) {
        setError(QStringLiteral("Название и владелец — до 100 символов, локация — до 160."));
        return;
    }
    // Stored once more before it leaves the machine; a failure here is shown
    // by persist() and then cleared, since the submission goes on.
    persist();
    setError(QString());
    setSending(true);

    const std::string server = server_.toStdString();
    const auto upload = services_.upload;
    const std::uint64_t submission = ++private_->uploadNumber;
    Private::join(private_->uploadWorker);

    auto post = [this, submission](auto step) {
        QMetaObject::invokeMethod(
            this,
            [this, submission, step = std::move(step)]() mutable {
                if (private_->uploadNumber == submission && sending_) step();
            },
            Qt::QueuedConnection);
    };

    auto work = [post, upload, server, sent = *snapshot, this] {
        try {
            const std::string address = upload(sent, server);
            post([this, sent, address] { uploadAccepted(sent, QString::fromStdString(address)); });
        } catch (const std::exception& failure) {
            post([this, description = describe(failure)] { uploadFailed(description); });
        } catch (...) {
            post([this] { uploadFailed("Отправка прервана непредвиденной ошибкой."); });
        }
    };
    try {
        private_->uploadWorker = std::thread(std::move(work));
    } catch (const std::system_error& failure) {
        uploadFailed(backgroundStartFailure(failure));
    }
}

void DepotriumModel::uploadAccepted(const RunReport& sent, const QString& address) {
    setSavedURL(address);
    setStage(QStringLiteral("Склад подтвердил сохранение описи"));
    // An id that is no plain file name was never stored under it, and its
    // path could point at some other file.
    if (isPlainFileStem(sent.id)) removeFileQuietly(localPath(draftURL(QString::fromStdString(sent.id))));
    const auto legacyFile = localPath(dataDirectory()) / legacyDraftFileName;
    if (const auto legacy = readReportFile(legacyFile); legacy && legacy->id == sent.id)
        removeFileQuietly(legacyFile);
    bool removed = false;
    for (std::size_t i = drafts_.size(); i-- > 0;) {
        if (drafts_[i].id != sent.id) continue;
        drafts_.erase(drafts_.begin() + static_cast<std::ptrdiff_t>(i));
        draftVariants_.removeAt(static_cast<qsizetype>(i));
        removed = true;
    }
    if (removed) announceDrafts();
    setSending(false);
    endUpload();
}

void DepotriumModel::uploadFailed(const std::string& description) {
    // The draft stays and the button comes back, so the user can retry.
    setError(QString::fromStdString(description));
    setStage(QStringLiteral("Опись сохранена локально. Отправку можно повторить."));
    setSending(false);
    endUpload();
}

void DepotriumModel::endUpload() {
    ++private_->uploadNumber;
    Private::join(private_->uploadWorker);
}

QString DepotriumModel::suggestedExportName() const {
    if (!report_) return {};
    QString stem = perceivedPrefix(QString::fromStdString(report_->id), 8);
    // The name is offered in a save dialog: a separator or a control
    // character in it would point elsewhere or be unreadable.
    for (QChar& character : stem)
        if (character == u'/' || character == u'\\' || character.category() == QChar::Other_Control) character = u'_';
    return QStringLiteral("NVX-") + stem + QStringLiteral(".json");
}

bool DepotriumModel::exportTo(const QString& path) {
    const auto snapshot = this->snapshot();
    if (!snapshot) return false;
    const QUrl url(path);
    const QString localFile = url.isLocalFile() ? url.toLocalFile() : path;
    if (localFile.isEmpty()) return false;
    try {
        writeFileAtomically(localPath(localFile), snapshot->data());
    } catch (const std::exception& failure) {
        setError(QStringLiteral("Не удалось сохранить файл: ") + QString::fromStdString(describe(failure)));
        return false;
    }
    return true;
}

}  // namespace nvx
