#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "keyboard.h"
#include "test_case.h"
#include "window_fixture.h"

namespace nvx::testing {

namespace {

// The home folder, where the save dialog opens when there is no documents
// folder, pointed at a fresh one for the test.
class ScratchHome {
public:
    ScratchHome() : previous_(qgetenv("HOME")) { qputenv("HOME", QFile::encodeName(folder.path())); }
    ~ScratchHome() { qputenv("HOME", previous_); }
    QStringList files() const { return QDir(folder.path()).entryList(QDir::Files | QDir::Hidden); }

    QTemporaryDir folder;

private:
    QByteArray previous_;
};

// A button of the open save dialog, by its text.
QQuickItem* dialogButton(const WindowUnderTest& window, const QString& text) {
    for (QQuickItem* item : window.withText(text))
        if (item->inherits("QQuickAbstractButton")) return item;
    return nullptr;
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

// The real save dialog behind "Сохранить JSON…", opened and answered with
// the mouse as a user would.
class ExportDialogTests : public WindowTestCase {
    Q_OBJECT

private slots:
    void acceptingTheSuggestedNameWritesExactlyTheReport() {
        ScratchHome home;
        WindowUnderTest window;
        window.model.runToEnd();
        window.model.label("Монтажная", "Отдел видео", "Склад Б");
        QTRY_VERIFY(WindowUnderTest::shown(window.item("export")));
        window.clickWithMouse("export");

        QQuickItem* save = nullptr;
        QTRY_VERIFY((save = dialogButton(window, "Сохранить")));
        const QString suggested = "NVX-" + QString::fromStdString(window->report()->id).left(8) + ".json";
        QQuickItem* fileName = window.item("fileNameTextField");
        QVERIFY(fileName);
        QCOMPARE(fileName->property("text").toString(), suggested);
        clickItem(window.window, save);

        const QString written = home.folder.filePath(suggested);
        QTRY_VERIFY(QFile::exists(written));
        QCOMPARE(readFile(written), QByteArray::fromStdString(window->snapshot()->data()));
        QCOMPARE(home.files(), QStringList{suggested});  // nothing left beside it
        QVERIFY(window->error().isEmpty());
        QTRY_VERIFY(!WindowUnderTest::shown(dialogButton(window, "Сохранить")));
    }

    void aCancelledDialogWritesNothing() {
        ScratchHome home;
        WindowUnderTest window;
        window.model.runToEnd();
        window.clickWithMouse("export");
        QQuickItem* cancel = nullptr;
        QTRY_VERIFY((cancel = dialogButton(window, "Отмена")));
        clickItem(window.window, cancel);
        QTRY_VERIFY(!WindowUnderTest::shown(dialogButton(window, "Отмена")));
        QTest::qWait(50);
        QVERIFY(home.files().isEmpty());
        QVERIFY(window->error().isEmpty());
        QCOMPARE(window.data.pendingFiles().size(), 1);  // the draft is as it was
    }

    void theDialogTextsAreRussian() {
        ScratchHome home;
        WindowUnderTest window;
        window.model.runToEnd();
        window.clickWithMouse("export");
        QTRY_VERIFY(dialogButton(window, "Отмена"));
        QVERIFY(window.showsText("Сохранить JSON"));
        QVERIFY(window.showsText("Имя файла"));
        QVERIFY(window.showsText("Тип файла"));
        QVERIFY(!window.showsText("File name"));
        QVERIFY(!window.showsText("Open"));
        clickItem(window.window, dialogButton(window, "Отмена"));
    }
};

}  // namespace nvx::testing

#include "export_dialog_tests.moc"

std::unique_ptr<QObject> makeExportDialogTests() {
    return std::make_unique<nvx::testing::ExportDialogTests>();
}
