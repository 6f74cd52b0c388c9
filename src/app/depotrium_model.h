#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/burko_state.h"
#include "core/report.h"
#include "core/stop_token.h"

namespace nvx {

// The long operations the model starts, injected so that tests drive the
// model with fakes. Each runs on a background thread and throws on failure.
struct DepotriumServices {
    std::function<RunReport(const StopToken&, const std::function<void(const std::string&)>&)> collect;
    std::function<std::vector<Metric>(const StopToken&, bool includeDisk,
                                      const std::function<void(const std::string&, double)>&)>
        runBenchmarks;
    // Returns the record address after the read-back check.
    std::function<std::string(const RunReport&, const std::string& server)> upload;

    // The collector, the benchmark runner and the upload client of this machine.
    static DepotriumServices real();
};

// The one observable object behind the window. Lives on the main thread;
// collection, benchmarks and upload run on background threads and report
// back through queued main-thread calls, in the order sent.
class DepotriumModel : public QObject {
    Q_OBJECT

    // The report of the last run or the restored draft, as a JSON-shaped map
    // (the report document's own keys); null before the first run.
    Q_PROPERTY(QVariant report READ reportVariant NOTIFY reportChanged)
    // The status line; written at every phase change.
    Q_PROPERTY(QString stage READ stage NOTIFY stageChanged)
    // An inventory run is in progress.
    Q_PROPERTY(bool running READ running NOTIFY runningChanged)
    // Within a run, the benchmark phase has begun.
    Q_PROPERTY(bool measuring READ measuring NOTIFY measuringChanged)
    // A submission to the depot is in flight.
    Q_PROPERTY(bool sending READ sending NOTIFY sendingChanged)
    // Progress of the run, 0.0 to 1.0.
    Q_PROPERTY(double progress READ progress NOTIFY progressChanged)
    // The device label fields, bound two-way to the form.
    Q_PROPERTY(QString name READ name WRITE setName NOTIFY nameChanged)
    Q_PROPERTY(QString owner READ owner WRITE setOwner NOTIFY ownerChanged)
    Q_PROPERTY(QString location READ location WRITE setLocation NOTIFY locationChanged)
    Q_PROPERTY(QString descriptionText READ descriptionText WRITE setDescriptionText NOTIFY descriptionTextChanged)
    // The last user-facing error; empty means none.
    Q_PROPERTY(QString error READ error WRITE setError NOTIFY errorChanged)
    // Whether the next run includes the disk benchmark.
    Q_PROPERTY(bool includeDisk READ includeDisk WRITE setIncludeDisk NOTIFY includeDiskChanged)
    // The record address after a confirmed submission; empty while none.
    Q_PROPERTY(QString savedURL READ savedURL NOTIFY savedURLChanged)
    // Local drafts, newest first, each a JSON-shaped map like `report`.
    Q_PROPERTY(QVariantList drafts READ draftsVariant NOTIFY draftsChanged)
    // The selected section of the main window: 0 intake, 1 inventory, 2 results.
    Q_PROPERTY(int tab READ tab WRITE setTab NOTIFY tabChanged)
    // Base address of the depot, edited in the settings window.
    Q_PROPERTY(QString server READ server WRITE setServer NOTIFY serverChanged)

    // Derived; notified whenever one of their inputs changes.
    Q_PROPERTY(bool canSubmit READ canSubmit NOTIFY canSubmitChanged)
    Q_PROPERTY(nvx::BurkoStateNamespace::BurkoState petState READ petState NOTIFY petStateChanged)
    Q_PROPERTY(QStringList locationSuggestions READ locationSuggestions NOTIFY locationSuggestionsChanged)

public:
    // The built-in depot address, used when NVX_SERVER_URL is not set.
    static const QString defaultServer;

    explicit DepotriumModel(QObject* parent = nullptr);
    DepotriumModel(DepotriumServices services, QObject* parent = nullptr);
    ~DepotriumModel() override;

    const std::optional<RunReport>& report() const { return report_; }
    QVariant reportVariant() const;
    QString stage() const { return stage_; }
    bool running() const { return running_; }
    bool measuring() const { return measuring_; }
    bool sending() const { return sending_; }
    double progress() const { return progress_; }
    QString name() const { return name_; }
    QString owner() const { return owner_; }
    QString location() const { return location_; }
    QString descriptionText() const { return descriptionText_; }
    QString error() const { return error_; }
    bool includeDisk() const { return includeDisk_; }
    QString savedURL() const { return savedURL_; }
    const std::vector<RunReport>& drafts() const { return drafts_; }
    QVariantList draftsVariant() const;
    int tab() const { return tab_; }
    QString server() const { return server_; }

    // The label setters only store the text; the window calls persist()
    // after each edit so the draft always carries the label as last typed.
    void setName(const QString& value);
    void setOwner(const QString& value);
    void setLocation(const QString& value);
    void setDescriptionText(const QString& value);
    void setError(const QString& value);
    void setIncludeDisk(bool value);
    void setTab(int value);
    void setServer(const QString& value);

    bool canSubmit() const;
    BurkoState petState() const;
    QStringList locationSuggestions() const;

    // Drafts.
    QString dataDirectory() const;
    QString draftDirectory() const;
    QString draftURL(const QString& id) const;
    std::optional<RunReport> snapshot() const;
    Q_INVOKABLE void persist();
    void restore(const RunReport& report);
    // Restores drafts[index]; for the drafts menu.
    Q_INVOKABLE void restoreDraft(int index);

    // Run orchestration.
    Q_INVOKABLE void start();
    Q_INVOKABLE void cancel();

    // Submission and export.
    Q_INVOKABLE void send();
    // "NVX-" + the first 8 characters of the report id + ".json"; empty
    // without a report.
    Q_INVOKABLE QString suggestedExportName() const;
    // Writes the snapshot to `path` atomically (a local file path or a
    // file: URL); on failure sets `error`. Returns whether it wrote.
    Q_INVOKABLE bool exportTo(const QString& path);

signals:
    void reportChanged();
    void stageChanged();
    void runningChanged();
    void measuringChanged();
    void sendingChanged();
    void progressChanged();
    void nameChanged();
    void ownerChanged();
    void locationChanged();
    void descriptionTextChanged();
    void errorChanged();
    void includeDiskChanged();
    void savedURLChanged();
    void draftsChanged();
    void tabChanged();
    void serverChanged();
    void canSubmitChanged();
    void petStateChanged();
    void locationSuggestionsChanged();

private:
    struct Private;

    // Writers of the published properties: each emits its own change signal
    // and then the signals of the derived properties whose value moved.
    void setReport(std::optional<RunReport> value);
    void setStage(const QString& value);
    void setRunning(bool value);
    void setMeasuring(bool value);
    void setSending(bool value);
    void setProgress(double value);
    void setSavedURL(const QString& value);
    // drafts_ and draftVariants_ are edited in place, then announced.
    void announceDrafts();
    void notifyDerived();

    void loadDraftsAtLaunch();
    void putIntoForm(const RunReport& report);

    // The steps of a run and of a submission that happen back on the main
    // thread, in the order the background work sent them.
    void runCollected(RunReport collected);
    void runMeasured(std::vector<Metric> metrics);
    void runFailed(std::optional<std::string> description);
    void endRun();
    void uploadAccepted(const RunReport& sent, const QString& address);
    void uploadFailed(const std::string& description);
    void endUpload();

    DepotriumServices services_;
    std::optional<RunReport> report_;
    QString stage_;
    bool running_ = false;
    bool measuring_ = false;
    bool sending_ = false;
    double progress_ = 0.0;
    QString name_, owner_, location_, descriptionText_, error_;
    bool includeDisk_ = true;
    QString savedURL_;
    std::vector<RunReport> drafts_;
    int tab_ = 0;
    QString server_;
    std::optional<StopToken> token_;
    // Values of the derived properties last announced, so that their
    // signals fire exactly when the value moves.
    bool announcedCanSubmit_ = false;
    BurkoState announcedPetState_ = BurkoState::idle;
    QStringList announcedSuggestions_;
    // JSON-shaped copies for the views, built once per change.
    mutable std::optional<QVariant> reportVariant_;
    QVariantList draftVariants_;
    std::unique_ptr<Private> private_;
};

}  // namespace nvx
