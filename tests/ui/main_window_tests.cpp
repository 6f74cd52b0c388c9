#include <QDesktopServices>
#include <QDir>
#include <QSignalSpy>
#include <QTest>

#include "test_case.h"
#include "window_fixture.h"

namespace nvx::testing {

namespace {

DiskSummary disk(const std::string& id, std::uint64_t bytes, std::optional<bool> internal) {
    return {id, "Диск " + id, bytes, "USB", internal, std::nullopt, {}};
}

}  // namespace

// Stands in for the browser: records what the window asks to open.
class UrlCatcher : public QObject {
    Q_OBJECT
public slots:
    void open(const QUrl& url) { opened << url; }

public:
    QList<QUrl> opened;
};

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
        UrlCatcher browser;
        QDesktopServices::setUrlHandler("https", &browser, "open");
        window->setServer("  https://depot.example.com/  ");
        window.click("openDepot");
        QDesktopServices::unsetUrlHandler("https");
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
};

}  // namespace nvx::testing

#include "main_window_tests.moc"

std::unique_ptr<QObject> makeMainWindowTests() { return std::make_unique<nvx::testing::MainWindowTests>(); }
