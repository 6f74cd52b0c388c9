#include "app/depotrium_model.h"

#include <algorithm>
#include <string>

#include <QJsonDocument>
#include <QScopeGuard>

#include "app/draft_files.h"
#include "app/label_text.h"
#include "app/model_private.h"
#include "core/default_server.h"
#include "core/errors.h"
#include "core/files.h"

namespace nvx {

const QString DepotriumModel::defaultServer = QString::fromUtf8(defaultServerAddress);

namespace {

template <typename T>
bool replace(T& field, const T& value) {
    if (field == value) return false;
    field = value;
    return true;
}

QString text(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

}  // namespace

QVariant reportBytesToVariant(const std::string& bytes) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(bytes)).toVariant();
}

QVariant reportToVariant(const RunReport& report) {
    try {
        return reportBytesToVariant(report.data());
    } catch (const std::exception&) {
        // Only a report holding a non-finite number cannot be encoded; a
        // completed one never does.
        return {};
    }
}

std::string backgroundStartFailure(const std::system_error& failure) {
    return "Не удалось запустить фоновую работу: " + systemErrorText(failure.code().value()) + ".";
}

DepotriumModel::DepotriumModel(DepotriumServices services, QObject* parent)
    : QObject(parent),
      services_(std::move(services)),
      stage_(QStringLiteral("Оборудование ожидает осмотра")),
      private_(std::make_unique<Private>()) {
    // Taken exactly as given, even empty: the address is checked when used.
    server_ = qEnvironmentVariableIsSet("NVX_SERVER_URL") ? qEnvironmentVariable("NVX_SERVER_URL") : defaultServer;
    announcedCanSubmit_ = canSubmit();
    announcedPetState_ = petState();
    announcedSuggestions_ = locationSuggestions();
    loadDraftsAtLaunch();
}

DepotriumModel::~DepotriumModel() {
    // Workers look at the token between steps; a submission cannot be
    // interrupted and is waited for. Results they queued die with the object.
    if (token_) token_->cancel();
    Private::join(private_->runWorker);
    Private::join(private_->uploadWorker);
}

// --- published properties -------------------------------------------------

QVariant DepotriumModel::reportVariant() const {
    if (!report_) return {};
    if (!reportVariant_) reportVariant_ = reportToVariant(*report_);
    return *reportVariant_;
}

QVariantList DepotriumModel::draftsVariant() const {
    return draftVariants_;
}

void DepotriumModel::setReport(std::optional<RunReport> value) {
    if (!report_ && !value) return;
    report_ = std::move(value);
    reportVariant_.reset();
    emit reportChanged();
    notifyDerived();
}

void DepotriumModel::setStage(const QString& value) {
    if (!replace(stage_, value)) return;
    emit stageChanged();
}

void DepotriumModel::setRunning(bool value) {
    if (!replace(running_, value)) return;
    emit runningChanged();
    notifyDerived();
}

void DepotriumModel::setMeasuring(bool value) {
    if (!replace(measuring_, value)) return;
    emit measuringChanged();
    notifyDerived();
}

void DepotriumModel::setSending(bool value) {
    if (!replace(sending_, value)) return;
    emit sendingChanged();
    notifyDerived();
}

void DepotriumModel::setProgress(double value) {
    if (!replace(progress_, value)) return;
    emit progressChanged();
}

void DepotriumModel::setName(const QString& value) {
    if (!replace(name_, value)) return;
    emit nameChanged();
    notifyDerived();
}

void DepotriumModel::setOwner(const QString& value) {
    if (!replace(owner_, value)) return;
    emit ownerChanged();
    notifyDerived();
}

void DepotriumModel::setLocation(const QString& value) {
    if (!replace(location_, value)) return;
    emit locationChanged();
    notifyDerived();
}

void DepotriumModel::setDescriptionText(const QString& value) {
    if (!replace(descriptionText_, value)) return;
    emit descriptionTextChanged();
}

void DepotriumModel::setError(const QString& value) {
    if (!replace(error_, value)) return;
    emit errorChanged();
    notifyDerived();
}

void DepotriumModel::setIncludeDisk(bool value) {
    if (!replace(includeDisk_, value)) return;
    emit includeDiskChanged();
}

void DepotriumModel::setSavedURL(const QString& value) {
    if (!replace(savedURL_, value)) return;
    emit savedURLChanged();
    notifyDerived();
}

void DepotriumModel::setTab(int value) {
    if (!replace(tab_, value)) return;
    emit tabChanged();
}

void DepotriumModel::setServer(const QString& value) {
    if (!replace(server_, value)) return;
    emit serverChanged();
}

void DepotriumModel::announceDrafts() {
    emit draftsChanged();
    notifyDerived();
}

// --- derived properties ---------------------------------------------------

void DepotriumModel::notifyDerived() {
    if (replace(announcedCanSubmit_, canSubmit())) emit canSubmitChanged();
    if (replace(announcedPetState_, petState())) emit petStateChanged();
    if (replace(announcedSuggestions_, locationSuggestions())) emit locationSuggestionsChanged();
}

bool DepotriumModel::canSubmit() const {
    if (!report_ || !report_->completed) return false;
    if (running_ || sending_) return false;
    // A report the depot has already accepted is not sent twice.
    if (!savedURL_.isEmpty()) return false;
    return !trimmedLabel(name_).isEmpty() && !trimmedLabel(owner_).isEmpty() && !trimmedLabel(location_).isEmpty();
}

BurkoState DepotriumModel::petState() const {
    if (running_) return measuring_ ? BurkoState::measuring : BurkoState::inspecting;
    if (sending_) return BurkoState::waiting;
    if (!error_.isEmpty()) return BurkoState::failed;
    if (!savedURL_.isEmpty()) return BurkoState::saved;
    if (report_ && report_->completed) return BurkoState::complete;
    return BurkoState::idle;
}

QStringList DepotriumModel::locationSuggestions() const {
    // Sorted as UTF-8 bytes, which is code-point order (QString's own
    // comparison would order by UTF-16 units).
    std::vector<std::string> locations{"Квартира на Лесной", "Береговой цех", "NVX Северный"};
    for (const auto& draft : drafts_)
        if (!draft.location.empty()) locations.push_back(draft.location);
    std::sort(locations.begin(), locations.end());
    locations.erase(std::unique(locations.begin(), locations.end()), locations.end());
    QStringList suggestions;
    suggestions.reserve(static_cast<qsizetype>(locations.size()));
    for (const auto& location : locations) suggestions.append(text(location));
    return suggestions;
}

// --- drafts ---------------------------------------------------------------

QString DepotriumModel::dataDirectory() const {
    return dataDirectoryPath();
}

QString DepotriumModel::draftDirectory() const {
    return dataDirectory() + QLatin1Char('/') + QLatin1String(draftFolderName);
}

QString DepotriumModel::draftURL(const QString& id) const {
    return draftDirectory() + QLatin1Char('/') + id + QStringLiteral(".json");
}

std::optional<RunReport> DepotriumModel::snapshot() const {
    if (!report_) return std::nullopt;
    RunReport snapshot = *report_;
    snapshot.name = trimmedLabel(name_).toStdString();
    snapshot.owner = trimmedLabel(owner_).toStdString();
    snapshot.location = trimmedLabel(location_).toStdString();
    // The description is kept as typed, blanks included.
    snapshot.description =
        descriptionText_.isEmpty() ? std::nullopt : std::optional<std::string>(descriptionText_.toStdString());
    return snapshot;
}

namespace {
constexpr std::string_view saveErrorPrefix = "Не удалось сохранить локальную копию: ";
}  // namespace

void DepotriumModel::persist() {
    // The window persists on every label change; while the model itself
    // fills the form, the fields belong half to the old report and half to
    // the new one, and such a mixture must never reach a file.
    if (private_->fillingForm) return;
    const auto snapshot = this->snapshot();
    if (!snapshot || !snapshot->completed) return;
    if (!savedURL_.isEmpty()) return;

    std::string bytes;
    try {
        if (!isPlainFileStem(snapshot->id))
            throw DepotriumError("идентификатор описи не годится для имени файла");
        createFolders(localPath(draftDirectory()));
        bytes = snapshot->data();
        writeFileAtomically(localPath(draftURL(text(snapshot->id))), bytes);
    } catch (const std::exception& failure) {
        // Our descriptions are whole sentences; their own full stop would
        // double the one that follows.
        std::string description = describe(failure);
        if (!description.empty() && description.back() == '.') description.pop_back();
        setError(text(std::string(saveErrorPrefix) + description + ". Сохраните JSON вручную."));
        return;
    }
    // Once a save goes through again (room was made, the folder became
    // writable), its earlier failure no longer holds and must not stay on
    // screen; any other error is not ours to withdraw.
    if (error_.startsWith(text(std::string(saveErrorPrefix)))) setError(QString());

    for (std::size_t i = drafts_.size(); i-- > 0;) {
        if (drafts_[i].id != snapshot->id) continue;
        drafts_.erase(drafts_.begin() + static_cast<std::ptrdiff_t>(i));
        draftVariants_.removeAt(static_cast<qsizetype>(i));
    }
    drafts_.insert(drafts_.begin(), *snapshot);
    draftVariants_.prepend(reportBytesToVariant(bytes));
    announceDrafts();
}

void DepotriumModel::putIntoForm(const RunReport& report) {
    private_->fillingForm = true;
    const auto done = qScopeGuard([this] { private_->fillingForm = false; });
    setReport(report);
    setName(text(report.name));
    setOwner(text(report.owner));
    setLocation(text(report.location));
    setDescriptionText(report.description ? text(*report.description) : QString());
}

void DepotriumModel::restore(const RunReport& report) {
    if (running_ || sending_) return;
    persist();
    putIntoForm(report);
    setSavedURL(QString());
    setError(QString());
    setStage(QStringLiteral("Восстановлена локальная опись"));
}

void DepotriumModel::restoreDraft(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= drafts_.size()) return;
    // A copy: persist() reorders the list before the draft is taken.
    const RunReport draft = drafts_[static_cast<std::size_t>(index)];
    restore(draft);
}

void DepotriumModel::loadDraftsAtLaunch() {
    drafts_ = loadDrafts(localPath(dataDirectory()));
    draftVariants_.clear();
    for (const auto& draft : drafts_) draftVariants_.append(reportToVariant(draft));
    announceDrafts();
    if (drafts_.empty()) return;
    putIntoForm(drafts_.front());
    setStage(QStringLiteral("Восстановлена последняя опись. Можно отправить её на склад."));
}

}  // namespace nvx
