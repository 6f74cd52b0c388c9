#include <QDir>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>

#include "browser_catcher.h"
#include "test_case.h"
#include "window_fixture.h"

namespace nvx::testing {

namespace {

DiskSummary disk(const std::string& id, std::uint64_t bytes, std::optional<bool> internal) {
    return {id, "Диск " + id, bytes, "USB", internal, std::nullopt, {}};
}

// The line that shows the model's error, checked to be in view with the
// model's text.
void expectErrorInView(const WindowUnderTest& window, const QString& expectedStart) {
    QTRY_VERIFY(!window->error().isEmpty());
    QVERIFY2(window->error().startsWith(expectedStart), qPrintable(window->error()));
    QQuickItem* line = window.item("error");
    QVERIFY(line);
    QTRY_COMPARE(line->property("text").toString(), window->error());
    QTRY_VERIFY(window.inView(line));
}

// Whether a shown text item is one the user cannot select: a plain text
// that is not the label of a button or the text of an input field.
bool unselectable(const QQuickItem* item) {
    if (!item->inherits("QQuickText") || !WindowUnderTest::shown(item)) return false;
    if (item->activeFocusOnTab()) return false;  // a link: followed, not selected
    if (item->property("text").toString().trimmed().isEmpty()) return false;
    for (const QQuickItem* outer = item->parentItem(); outer; outer = outer->parentItem()) {
        if (outer->inherits("QQuickAbstractButton") || outer->inherits("QQuickTextInput") ||
            outer->inherits("QQuickTextEdit"))
            return false;
    }
    return true;
}

}  // namespace

class MainWindowTests : public WindowTestCase {
    Q_OBJECT

private slots:
    void freshStartShowsTheStartBlockAndNothingElse() {
        WindowUnderTest window;
        QVERIFY(window.window);
        QCOMPARE(window.window->title(), QString("NVX Depotrium"));
        QCOMPARE(window.window->width(), 1060);
        QCOMPARE(window.window->minimumWidth(), 940);
        QCOMPARE(window.window->minimumHeight(), 720);
        QCOMPARE(window.item("stage")->property("text").toString(), QString("Оборудование ожидает осмотра"));
        QVERIFY(WindowUnderTest::shown(window.item("start")));
        QVERIFY(!WindowUnderTest::shown(window.item("device-name")));
        QVERIFY(!WindowUnderTest::shown(window.item("draftsMenu")));
        QCOMPARE(window.item("petCaption")->property("text").toString(), QString("Бурко осмотрит каждый уголок."));
        QCOMPARE(window.item("pageTitle")->property("text").toString(), QString("Приёмка оборудования"));
    }

    void aRunShowsProgressThenTheSummaryWithoutLabelCard() {
        WindowUnderTest window;
        window.model.backend->collectGate.close();
        window.model.backend->benchmarkGate.close();
        window.click("start");
        QTRY_VERIFY(window->running());
        QVERIFY(WindowUnderTest::shown(window.item("progress")));
        QVERIFY(WindowUnderTest::shown(window.item("stop")));
        QVERIFY(!WindowUnderTest::shown(window.item("start")));

        window.model.backend->collectGate.open();
        QTRY_VERIFY(window->measuring());
        QTRY_VERIFY(window.showsText("Процессор"));  // the summary is there
        QVERIFY(!WindowUnderTest::shown(window.item("modelImage")));   // without a picture
        QVERIFY(!WindowUnderTest::shown(window.item("device-name")));  // and without the label card
        QCOMPARE(window.item("petCaption")->property("text").toString(),
                 QString("Бурко замер, чтобы не влиять на измерения."));
        // The pet holds still while the benchmarks measure.
        QCOMPARE(window.item("pet")->property("animating").toBool(), false);

        window->setTab(2);
        QTRY_VERIFY(window.showsText("Испытания ещё идут. Незавершённые результаты не выдаются за готовые."));
        window->setTab(0);
        window.click("stop");
        QTRY_VERIFY(!window->running());
    }

    void theSubmitButtonNeedsTheLabelAndEveryKeystrokeStoresTheDraft() {
        WindowUnderTest window;
        window.model.runToEnd();
        QTRY_VERIFY(WindowUnderTest::shown(window.item("device-name")));
        QVERIFY(WindowUnderTest::shown(window.item("modelImage")));
        QCOMPARE(window.item("petCaption")->property("text").toString(), QString("Всё осмотрено. Бурко доволен."));
        QVERIFY(!window.item("submit")->isEnabled());

        window.type("device-owner", "Отдел");
        window.type("device-location", "Цех");
        QVERIFY(!window.item("submit")->isEnabled());
        const auto id = window->report()->id;
        window.type("device-name", "Мон");
        QCOMPARE(window->name(), QString("Мон"));
        QTRY_VERIFY(window.item("submit")->isEnabled());
        // The draft on disk follows every keystroke.
        QCOMPARE(QString::fromStdString(window.data.readDraft(id).name), QString("Мон"));
        window.type("device-name", "т");
        QCOMPARE(QString::fromStdString(window.data.readDraft(id).name), QString("Монт"));
        QCOMPARE(window.item("submit")->property("text").toString(), QString("Принять на склад"));
    }

    void theLocationSurvivesLeavingAndReenteringThePage() {
        WindowUnderTest window([](ScratchData& data) { data.writeDraft(completedReport("b0000000-0000-4000-8000-000000000002")); });
        window.model.runToEnd();
        window.model.label("Монтажная", "Отдел", "Береговой цех");
        QTRY_VERIFY(window.item("device-location"));
        QVERIFY(window->locationSuggestions().contains("Береговой цех"));
        window->setTab(1);
        window->setTab(0);
        QTRY_VERIFY(window.item("device-location"));
        QTest::qWait(50);
        QCOMPARE(window->location(), QString("Береговой цех"));
        QCOMPARE(window.item("device-location")->property("text").toString(), QString("Береговой цех"));
    }

    void acceptanceLocksTheCardAndOffersTheRecord() {
        WindowUnderTest window;
        window.model.runToEnd();
        window.model.label();
        QTRY_VERIFY(window.item("submit") && window.item("submit")->isEnabled());
        window.model.backend->uploadGate.close();
        window.click("submit");
        QTRY_COMPARE(window.item("submit")->property("text").toString(), QString("Проверяем сохранение…"));
        QVERIFY(WindowUnderTest::shown(window.item("sendingSpinner")));
        QVERIFY(!window.item("export")->isEnabled());
        QVERIFY(!window.item("newRun")->isEnabled());
        window.model.backend->uploadGate.open();

        QTRY_COMPARE(window.item("submit")->property("text").toString(), QString("Опись принята"));
        QVERIFY(!window.item("submit")->isEnabled());
        QVERIFY(!window.item("device-name")->isEnabled());
        QVERIFY(!window.item("device-location")->isEnabled());
        QVERIFY(!window.item("device-description")->isEnabled());
        QVERIFY(WindowUnderTest::shown(window.item("openRecord")));
        QVERIFY(!WindowUnderTest::shown(window.item("sendingSpinner")));
    }

    void untitledDraftsAreNamedByTheirId() {
        WindowUnderTest window([](ScratchData& data) {
            RunReport draft = completedReport("a1b2c3d4-0000-4000-8000-000000000001");
            draft.name.clear();
            data.writeDraft(draft);
        });
        QVERIFY(WindowUnderTest::shown(window.item("draftsMenu")));
        QCOMPARE(window.item("draftsMenu")->property("text").toString(), QString("Локальные описи (1)"));
        QObject* popup = window.window->findChild<QObject*>("draftsMenuPopup");
        QVERIFY(popup);
        QMetaObject::invokeMethod(popup, "open");
        QTRY_COMPARE(popup->property("count").toInt(), 1);
        QQuickItem* entry = nullptr;
        QMetaObject::invokeMethod(popup, "itemAt", Q_RETURN_ARG(QQuickItem*, entry), Q_ARG(int, 0));
        QVERIFY(entry);
        QCOMPARE(entry->property("text").toString(), QString("Без названия · a1b2c3d4"));
        // Choosing it puts the draft into the form.
        QMetaObject::invokeMethod(entry, "triggered");
        QCOMPARE(QString::fromStdString(window->report()->id), QString("a1b2c3d4-0000-4000-8000-000000000001"));
    }

    void diskSizesSwitchToTerabytesAtOneTrillionBytes() {
        WindowUnderTest window;
        window.model.backend->collected.system.disks = std::vector<DiskSummary>{
            disk("disk0", 1000000000000ULL, true), disk("disk1", 999999999999ULL, false),
            disk("disk2", 2500000000ULL, std::nullopt)};
        window.model.runToEnd();
        QTRY_VERIFY(window.showsText("1.00 TB"));
        QVERIFY(window.showsText("1000.0 GB"));
        QVERIFY(window.showsText("2.5 GB"));
        QVERIFY(window.showsText("USB · Внутренний"));
        QVERIFY(window.showsText("USB · Внешний"));
        QVERIFY(window.showsText("USB · Расположение неизвестно"));
    }

    void unknownAndEmptyDiskListsSaySo() {
        WindowUnderTest window;
        window.model.backend->collected.system.disks.reset();
        window.model.runToEnd();
        QTRY_VERIFY(window.showsText("Подробный список накопителей не был собран. Причина указана в описи."));
    }

    void passesAreListedOnlyForSeveralSamples() {
        WindowUnderTest window;
        Metric one = sampleReport().metrics.front();
        one.id = "one";
        one.samples = {5.0};
        Metric two = one;
        two.id = "two";
        two.title = "Два прохода";
        two.samples = {1.04, 2.25};
        window.model.backend->metrics = {one, two, Metric::skipped("gpu_compute", "Графика", "Нет GPU.")};
        window.model.runToEnd();
        window->setTab(2);
        QTRY_VERIFY(window.showsText("Не измерено"));
        QCOMPARE(window.textsStartingWith("Проходы: "), QStringList{"Проходы: 1.0 · 2.2"});
        QVERIFY(window.showsText("Тест 1.0.0. Измерения выполнены на этом компьютере, без браузера."));
        QVERIFY(window.showsText("412.7 M итераций/с"));
        QCOMPARE(window.item("pageTitle")->property("text").toString(), QString("Результаты испытаний"));
    }

    void theFooterRefusesAnAddressOutsideThePolicy() {
        WindowUnderTest window;
        window->setServer("http://depot.example.com");
        window.click("openDepot");
        QCOMPARE(window->error(), QString("Проверьте адрес склада в настройках приложения."));
        QTRY_VERIFY(window.showsText("Проверьте адрес склада в настройках приложения."));
    }

    void theFooterOpensTheCheckedAddressInTheBrowser() {
        WindowUnderTest window;
        BrowserCatcher browser;
        window->setServer("  https://depot.example.com/  ");
        window.click("openDepot");
        QCOMPARE(browser.opened, QList<QUrl>{QUrl("https://depot.example.com/")});
        QVERIFY(window->error().isEmpty());
    }

    void theInventoryPageListsKnownSectionsAndWarnings() {
        WindowUnderTest window;
        window->setTab(1);
        QTRY_VERIFY(window.showsText("Начните опись на вкладке «Приёмка». Здесь появится оборудование именно этого Mac."));
        window.model.runToEnd();
        window->setTab(1);
        QTRY_VERIFY(window.showsText("Компьютер"));
        QVERIFY(window.showsText("Графика и экраны"));
        QVERIFY(window.showsText("Fibre Channel"));
        QVERIFY(window.showsText(QString::fromStdString(sampleReport().warnings.front())));
        QCOMPARE(window.item("pageTitle")->property("text").toString(), QString("Инвентарная ведомость"));
        // Sections stay closed until opened.
        QVERIFY(!window.showsText("hardware_overview"));
    }

    // A failure caused by a button is in view wherever the button was: the
    // error line does not scroll with the page and shows on every section.
    void aRefusedAddressIsInViewOnAnotherSection() {
        WindowUnderTest window;
        window.model.runToEnd();
        window->setTab(1);
        window->setServer("http://depot.example.com");
        window.clickWithMouse("openDepot");
        expectErrorInView(window, "Проверьте адрес склада в настройках приложения.");
    }

    void aRefusedSubmissionIsInViewBelowALongPage() {
        WindowUnderTest window;
        window.model.backend->uploadFailure = std::make_exception_ptr(DepotriumError("Склад отказал в приёме описи."));
        window.model.runToEnd();
        window.model.label();
        QTRY_VERIFY(window.item("submit")->isEnabled());
        window.clickWithMouse("submit");
        expectErrorInView(window, "Склад отказал в приёме описи.");
    }

    void aLabelOverItsLimitIsInView() {
        WindowUnderTest window;
        window.model.runToEnd();
        window.model.label("Монтажная", "Отдел", QString(161, u'л'));
        QTRY_VERIFY(window.item("submit")->isEnabled());
        window.clickWithMouse("submit");
        expectErrorInView(window, "Название и владелец — до 100 символов, локация — до 160.");
    }

    void aFailedRunIsInView() {
        WindowUnderTest window;
        window.model.backend->collectFailure =
            std::make_exception_ptr(DepotriumError("Не удалось получить сведения о системе."));
        window.clickWithMouse("start");
        expectErrorInView(window, "Не удалось получить сведения о системе.");
    }

    void aFailedExportIsInView() {
        // The dialog opens in the home folder; one where no file can be
        // made (a kernel folder, read-only even for root) makes the export
        // fail after the user accepted the dialog.
        const QByteArray home = qgetenv("HOME");
        qputenv("HOME", "/proc/self");
        const auto restore = qScopeGuard([&] { qputenv("HOME", home); });
        WindowUnderTest window;
        window.model.runToEnd();
        window.clickWithMouse("export");
        QQuickItem* save = nullptr;
        const auto saveButton = [&]() -> QQuickItem* {
            for (QQuickItem* item : window.withText("Сохранить"))
                if (item->inherits("QQuickAbstractButton")) return item;
            return nullptr;
        };
        QTRY_VERIFY((save = saveButton()));
        clickItem(window.window, save);
        expectErrorInView(window, "Не удалось сохранить файл: ");
    }

    void everyTextCanBeSelected() {
        WindowUnderTest window;
        window.model.runToEnd();
        window->setError("Ошибка для проверки.");
        const auto check = [&](const QString& state) {
            QTest::qWait(20);
            QStringList plain;
            window.visitAll([&](QQuickItem* item) {
                if (unselectable(item)) plain << item->property("text").toString();
            });
            QVERIFY2(plain.isEmpty(), qPrintable(state + ": " + plain.join(" | ")));
        };
        check("intake");
        window->setTab(1);
        QTRY_VERIFY(window.item("sectionToggle"));
        window.clickWithMouse("sectionToggle");
        check("inventory");
        window->setTab(2);
        check("results");
        window->setTab(0);
        window.model.backend->collectGate.close();
        window->start();
        QTRY_VERIFY(window->running());
        check("running");
        window.model.backend->collectGate.open();
    }

    void theRecordLinkOpensTheRecordInTheBrowser() {
        WindowUnderTest window;
        BrowserCatcher browser;
        window.model.runToEnd();
        window.model.label();
        window.click("submit");
        QTRY_VERIFY(WindowUnderTest::shown(window.item("openRecord")));
        window.clickWithMouse("openRecord");
        QCOMPARE(browser.opened, QList<QUrl>{QUrl(QString::fromStdString(window.model.backend->savedAddress))});
        // The keyboard follows it too.
        window.item("openRecord")->forceActiveFocus(Qt::TabFocusReason);
        pressKey(window.window, Qt::Key_Return);
        QCOMPARE(browser.opened.size(), 2);
    }

    void theDraftsMenuIsDisabledWhileRunningOrSending() {
        WindowUnderTest window(
            [](ScratchData& data) { data.writeDraft(completedReport("c0000000-0000-4000-8000-000000000003")); });
        QQuickItem* menu = window.item("draftsMenu");
        QVERIFY(WindowUnderTest::shown(menu) && menu->isEnabled());
        window.model.backend->collectGate.close();
        window->start();
        QTRY_VERIFY(window->running());
        QVERIFY(!menu->isEnabled());
        window.model.backend->collectGate.open();
        QTRY_VERIFY(!window->running());
        QVERIFY(menu->isEnabled());
        window.model.label();
        window.model.backend->uploadGate.close();
        window.click("submit");
        QTRY_VERIFY(window->sending());
        QVERIFY(!menu->isEnabled());
        // Clicking it anyway opens nothing.
        clickItem(window.window, menu);
        QVERIFY(!window.window->findChild<QObject*>("draftsMenuPopup")->property("visible").toBool());
        window.model.backend->uploadGate.open();
        QTRY_VERIFY(!window->sending());
        QVERIFY(menu->isEnabled());
    }

    void imagesAreDrawnFromSourcesForTwiceTheDensity() {
        WindowUnderTest window;
        window.model.runToEnd();
        QTRY_VERIFY(WindowUnderTest::shown(window.item("modelImage")));
        window->setError("Ошибка: значок предупреждения на виду.");
        QTest::qWait(50);
        int images = 0;
        window.visitAll([&](QQuickItem* item) {
            if (!item->inherits("QQuickImage") || !WindowUnderTest::shown(item)) return;
            if (item->property("status").toInt() != 1) return;  // Image.Ready
            ++images;
            const QSizeF drawn(item->property("paintedWidth").toReal(), item->property("paintedHeight").toReal());
            // The picture as loaded: scaled to sourceSize where one is set.
            const QSize source(qRound(item->implicitWidth()), qRound(item->implicitHeight()));
            const QString name = item->property("source").toUrl().fileName();
            QVERIFY2(source.width() >= 2 * drawn.width() - 1 && source.height() >= 2 * drawn.height() - 1,
                     qPrintable(QString("%1: %2x%3 drawn from %4x%5")
                                    .arg(name)
                                    .arg(drawn.width())
                                    .arg(drawn.height())
                                    .arg(source.width())
                                    .arg(source.height())));
        });
        QVERIFY(images >= 5);  // logo, three section icons, the model, the warning sign
    }
};

}  // namespace nvx::testing

#include "main_window_tests.moc"

std::unique_ptr<QObject> makeMainWindowTests() { return std::make_unique<nvx::testing::MainWindowTests>(); }
