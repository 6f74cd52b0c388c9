#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <QDir>
#include <QObject>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include "app/depotrium_model.h"
#include "core/files.h"
#include "fake_services.h"
#include "support/sample_reports.h"

namespace nvx::testing {

// A fresh data directory for one test, named by NVX_DATA_DIR, with no server
// address in the environment.
class ScratchData {
public:
    ScratchData() {
        qputenv("NVX_DATA_DIR", QFile::encodeName(folder_.path()));
        qunsetenv("NVX_SERVER_URL");
    }
    ~ScratchData() { qunsetenv("NVX_DATA_DIR"); }

    std::filesystem::path path() const { return std::filesystem::path(folder_.path().toStdString()); }
    std::filesystem::path pending() const { return path() / "pending"; }
    std::filesystem::path draft(const std::string& id) const { return pending() / (id + ".json"); }

    void write(const std::filesystem::path& file, const std::string& bytes) const {
        std::filesystem::create_directories(file.parent_path());
        writeFileAtomically(file, bytes);
    }
    void writeDraft(const RunReport& report) const { write(draft(report.id), report.data()); }
    RunReport readDraft(const std::string& id) const { return RunReport::decode(readWholeFile(draft(id))); }
    // The names of the files in the drafts folder, sorted.
    QStringList pendingFiles() const {
        return QDir(QString::fromStdString(pending().string())).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

private:
    QTemporaryDir folder_;
};

// A completed report as a draft would hold it.
inline RunReport completedReport(const std::string& id, const std::string& createdAt = "2026-03-01T09:15:00Z",
                                 const std::string& location = "Береговой цех") {
    RunReport report = sampleReport();
    report.id = id;
    report.created_at = createdAt;
    report.location = location;
    return report;
}

// A model on fake services, with the backend that steers them.
struct ModelUnderTest {
    std::shared_ptr<FakeBackend> backend = std::make_shared<FakeBackend>();
    std::unique_ptr<DepotriumModel> model = std::make_unique<DepotriumModel>(fakeServices(backend));

    DepotriumModel* operator->() const { return model.get(); }

    // Runs start() to its end with the backend as it is set up.
    void runToEnd() {
        model->start();
        QTRY_VERIFY_WITH_TIMEOUT(!model->running(), 10000);
    }
    // Fills the label so that the completed report may be sent.
    void label(const QString& name = "Монтажная", const QString& owner = "Отдел видео",
               const QString& location = "Береговой цех") {
        model->setName(name);
        model->setOwner(owner);
        model->setLocation(location);
    }
};

// Records the change signals of a model in the order they are emitted, by
// property name ("report", "stage", ...).
class SignalLog {
public:
    explicit SignalLog(DepotriumModel* model) {
        using M = DepotriumModel;
        add(model, &M::reportChanged, "report");
        add(model, &M::stageChanged, "stage");
        add(model, &M::runningChanged, "running");
        add(model, &M::measuringChanged, "measuring");
        add(model, &M::sendingChanged, "sending");
        add(model, &M::progressChanged, "progress");
        add(model, &M::nameChanged, "name");
        add(model, &M::ownerChanged, "owner");
        add(model, &M::locationChanged, "location");
        add(model, &M::descriptionTextChanged, "descriptionText");
        add(model, &M::errorChanged, "error");
        add(model, &M::includeDiskChanged, "includeDisk");
        add(model, &M::savedURLChanged, "savedURL");
        add(model, &M::draftsChanged, "drafts");
        add(model, &M::tabChanged, "tab");
        add(model, &M::serverChanged, "server");
        add(model, &M::canSubmitChanged, "canSubmit");
        add(model, &M::petStateChanged, "petState");
        add(model, &M::locationSuggestionsChanged, "locationSuggestions");
    }
    SignalLog(const SignalLog&) = delete;
    SignalLog& operator=(const SignalLog&) = delete;

    QStringList names;

    // The recorded names without the derived properties.
    QStringList stored() const {
        QStringList result;
        for (const auto& name : names)
            if (name != "canSubmit" && name != "petState" && name != "locationSuggestions") result << name;
        return result;
    }

private:
    template <typename Signal>
    void add(DepotriumModel* model, Signal signal, const char* name) {
        QObject::connect(model, signal, &receiver_, [this, name] { names << QString::fromLatin1(name); });
    }
    QObject receiver_;
};

}  // namespace nvx::testing
