// Storing drafts when the file system refuses: full, or read-only. The save
// error is shown, the previous draft file stays as it was and loads, and
// nothing else is lost. A full file system needs a small tmpfs, which only
// root can mount; without root that case is skipped with a message.
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include <QTest>

#include "app/draft_files.h"
#include "model_fixture.h"

using namespace nvx;
using namespace nvx::testing;

namespace {

const QString savedLocallyPrefix = QStringLiteral("Не удалось сохранить локальную копию: ");
const QString savedLocallySuffix = QStringLiteral(". Сохраните JSON вручную.");

// A tmpfs of `bytes` over a folder for the life of the object.
class SmallFileSystem {
public:
    SmallFileSystem(const std::filesystem::path& folder, std::size_t bytes) : folder_(folder) {
        const std::string options = "size=" + std::to_string(bytes) + ",mode=0700";
        mounted_ = ::mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) == 0;
    }
    ~SmallFileSystem() {
        if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
    }
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;

    bool mounted() const { return mounted_; }
    bool makeReadOnly() const {
        return ::mount("tmpfs", folder_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

private:
    std::filesystem::path folder_;
    bool mounted_ = false;
};

// Writes until the file system has no byte left.
void fill(const std::filesystem::path& file) {
    std::ofstream filler(file, std::ios::binary);
    const std::string block(4096, 'x');
    while (filler.write(block.data(), block.size())) {
    }
    filler.close();
    std::ofstream rest(file.string() + ".rest", std::ios::binary);
    while (rest.put('x') && rest.flush()) {
    }
}

}  // namespace

class DraftsFaultTests : public QObject {
    Q_OBJECT

    // The drafts before the failing save, and what must still hold after it.
    struct Before {
        std::string currentBytes;
        std::string otherBytes;
        QStringList files;
    };

    static Before prepare(const ScratchData& data) {
        data.writeDraft(completedReport("current", "2026-03-02T00:00:00Z"));
        data.writeDraft(completedReport("other", "2026-03-01T00:00:00Z"));
        return {readWholeFile(data.draft("current")), readWholeFile(data.draft("other")), data.pendingFiles()};
    }

    static void saveFailsAndLosesNothing(const ScratchData& data, ModelUnderTest& model, const Before& before) {
        QCOMPARE(model->report()->id, std::string("current"));
        model->setName("Правка, которую некуда сохранить");
        model->persist();
        QVERIFY2(model->error().startsWith(savedLocallyPrefix), qPrintable(model->error()));
        QVERIFY(model->error().endsWith(savedLocallySuffix));
        QVERIFY(model->error().size() > savedLocallyPrefix.size() + savedLocallySuffix.size());
        // The files are as they were: no half-written draft, no temporary.
        QCOMPARE(readWholeFile(data.draft("current")), before.currentBytes);
        QCOMPARE(readWholeFile(data.draft("other")), before.otherBytes);
        QCOMPARE(data.pendingFiles(), before.files);
        const auto loaded = loadDrafts(data.path());
        QCOMPARE(loaded.size(), std::size_t(2));
        QCOMPARE(loaded[0], completedReport("current", "2026-03-02T00:00:00Z"));
        // Nor is anything lost in the window: the list and the edit stay.
        QCOMPARE(model->drafts().size(), std::size_t(2));
        QCOMPARE(model->name(), QStringLiteral("Правка, которую некуда сохранить"));
    }

private slots:
    void aFullFileSystemKeepsThePreviousDraft() {
        if (::geteuid() != 0) QSKIP("a full file system needs a small tmpfs, and mounting one needs root");
        ScratchData data;
        SmallFileSystem small(data.path(), 256 * 1024);
        // Root inside a container may lack the right to mount.
        if (!small.mounted()) QSKIP("a full file system needs a small tmpfs, and this root may not mount one");
        const Before before = prepare(data);
        ModelUnderTest model;
        fill(data.path() / "filler");
        saveFailsAndLosesNothing(data, model, before);
        if (QTest::currentTestFailed()) return;

        // Once there is room again, the same edit is stored.
        std::filesystem::remove(data.path() / "filler");
        std::filesystem::remove(data.path() / "filler.rest");
        model->persist();
        QVERIFY2(model->error().isEmpty(), qPrintable(model->error()));
        QCOMPARE(data.readDraft("current").name, std::string("Правка, которую некуда сохранить"));
        QCOMPARE(readWholeFile(data.draft("other")), before.otherBytes);
    }

    void aReadOnlyDraftsFolderKeepsThePreviousDraft() {
        ScratchData data;
        // Root writes through permission bits, so as root the folder lies on
        // a file system mounted read-only instead.
        std::unique_ptr<SmallFileSystem> small;
        if (::geteuid() == 0) {
            small = std::make_unique<SmallFileSystem>(data.path(), 1024 * 1024);
            if (!small->mounted()) QSKIP("root writes through permission bits, and this root may not mount a tmpfs");
        }
        const Before before = prepare(data);
        ModelUnderTest model;
        struct Writable {
            std::filesystem::path folder;
            ~Writable() { ::chmod(folder.c_str(), 0755); }  // so the scratch folder can be removed
        } writableAgain{data.pending()};
        if (small)
            QVERIFY(small->makeReadOnly());
        else
            QCOMPARE(::chmod(data.pending().c_str(), 0555), 0);
        saveFailsAndLosesNothing(data, model, before);
    }
};

int runDraftsFaultTests(int argc, char** argv) {
    DraftsFaultTests tests;
    return QTest::qExec(&tests, argc, argv);
}

#include "drafts_fault_tests.moc"
