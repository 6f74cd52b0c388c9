// Renders the main window offscreen in each state a user meets and writes
// one PNG per state into the given folder:
//   nvx-window-screenshots <folder>
// The model runs on fake services with a sample report; drafts go to a
// temporary data folder.

#include <QDir>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

#include <cstdio>
#include <functional>
#include <memory>

#include "app/fake_services.h"
#include "support/sample_reports.h"
#include "ui/dialog_texts.h"
#include "ui/main_window_source.h"

Q_IMPORT_QML_PLUGIN(DepotriumPlugin)

using namespace nvx;
using namespace nvx::testing;

namespace {

QVariantList sections() {
    const char* table[][2] = {{"SPHardwareDataType", "Компьютер"},       {"SPMemoryDataType", "Память"},
                              {"SPDisplaysDataType", "Графика и экраны"}, {"SPStorageDataType", "Тома и накопители"},
                              {"SPNVMeDataType", "NVMe"},                 {"SPUSBDataType", "USB"},
                              {"SPFibreChannelDataType", "Fibre Channel"}};
    QVariantList list;
    for (const auto& row : table) list << QVariantMap{{"key", QString::fromUtf8(row[0])}, {"title", QString::fromUtf8(row[1])}};
    return list;
}

// Waits, serving events, until `done` holds or five seconds pass.
bool waitFor(const std::function<bool()>& done) {
    for (int i = 0; i < 500 && !done(); ++i) QTest::qWait(10);
    return done();
}

// The first item of the visual tree with this object name.
QQuickItem* findIn(QQuickItem* item, const QString& objectName) {
    if (item->objectName() == objectName) return item;
    for (QQuickItem* child : item->childItems()) {
        if (QQuickItem* found = findIn(child, objectName)) return found;
    }
    return nullptr;
}

QQuickItem* find(QQuickWindow* window, const char* objectName) {
    return findIn(window->contentItem(), QString::fromLatin1(objectName));
}

class Shooter {
public:
    explicit Shooter(QString folder) : folder_(std::move(folder)) {}
    bool shoot(QQuickWindow* window, const QString& name) {
        QTest::qWait(150);  // let layouts and images settle
        const QImage image = window->grabWindow();
        const bool ok = !image.isNull() && image.save(QDir(folder_).filePath(name + ".png"));
        std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(name));
        failures_ += ok ? 0 : 1;
        return ok;
    }
    int failures() const { return failures_; }

private:
    QString folder_;
    int failures_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_QUICK_BACKEND", "software");
    QTemporaryDir data;
    qputenv("NVX_DATA_DIR", QFile::encodeName(data.path()));
    qunsetenv("NVX_SERVER_URL");
    QGuiApplication application(argc, argv);
    QQuickStyle::setStyle("Fusion");
    installRussianTexts();
    if (argc != 2 || !QDir().mkpath(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "usage: nvx-window-screenshots <folder>\n");
        return 2;
    }
    Shooter shooter(QString::fromLocal8Bit(argv[1]));

    auto backend = std::make_shared<FakeBackend>();
    backend->collected.system.model = "MacBookPro18,3";
    backend->collected.system.model_matches = std::vector<ModelMatch>{
        {"MacBookPro18,3", "MacBook Pro (14-inch, 2021)", "2021", "https://support.example/identify", "Apple M1 Pro"}};
    backend->collected.system.chip = "Apple M1 Pro";
    backend->collected.system.gpu = {"Apple M1 Pro"};
    backend->metrics = sampleReport().metrics;
    Metric memory;
    memory.id = "memory_copy";
    memory.title = "Память · копирование 32 МиБ";
    memory.value = 61234.56;
    memory.unit = "МБ/с";
    memory.samples = {60110.2, 61234.56, 61890.0};
    memory.note = "Копирование блока 32 МиБ. Медиана трёх проходов.";
    backend->metrics.insert(backend->metrics.begin() + 1, memory);

    DepotriumModel model(fakeServices(backend));
    QQmlApplicationEngine engine;
    engine.setInitialProperties({{"model", QVariant::fromValue(&model)}, {"sections", sections()}});
    loadMainWindow(engine);
    if (engine.rootObjects().isEmpty()) return 1;
    auto* window = qobject_cast<QQuickWindow*>(engine.rootObjects().first());
    if (!QTest::qWaitForWindowExposed(window)) return 1;

    shooter.shoot(window, "01-fresh");

    backend->collectGate.close();
    model.start();
    waitFor([&] { return model.running(); });
    shooter.shoot(window, "02-running");

    backend->benchmarkGate.close();
    backend->collectGate.open();
    waitFor([&] { return model.measuring(); });
    shooter.shoot(window, "03-measuring");
    backend->benchmarkGate.open();
    waitFor([&] { return !model.running(); });

    model.setName("Монтажная №2");
    model.setOwner("Отдел видео");
    model.setLocation("Береговой цех");
    model.setDescriptionText("Стойка у окна, второй монитор");
    shooter.shoot(window, "04-completed-with-label");
    // The list of places open under the location field.
    if (auto* location = find(window, "device-location")) {
        location->forceActiveFocus(Qt::TabFocusReason);
        QTest::keyClick(window, Qt::Key_Down);
        shooter.shoot(window, "04a-location-list");
        QTest::keyClick(window, Qt::Key_Escape);
    }
    window->resize(1060, 1250);
    shooter.shoot(window, "05-completed-whole-page");
    window->resize(1060, 800);

    model.send();
    waitFor([&] { return !model.savedURL().isEmpty(); });
    if (auto* scroll = find(window, "pageScroll")) {
        if (auto* flickable = scroll->property("contentItem").value<QQuickItem*>()) flickable->setProperty("contentY", 300);
    }
    shooter.shoot(window, "06-accepted");

    model.setTab(1);
    waitFor([&] { return find(window, "sectionToggle") != nullptr; });
    if (auto* toggle = find(window, "sectionToggle")) QMetaObject::invokeMethod(toggle, "clicked");
    shooter.shoot(window, "07-inventory");

    model.setTab(2);
    shooter.shoot(window, "08-results");

    model.setTab(0);
    // The save dialog, opened from the card.
    if (auto* exportButton = find(window, "export")) {
        QMetaObject::invokeMethod(exportButton, "clicked");
        waitFor([&] { return find(window, "fileNameTextField") && find(window, "fileNameTextField")->isVisible(); });
        shooter.shoot(window, "08a-save-dialog");
        QTest::keyClick(window, Qt::Key_Escape);
        QTest::qWait(100);
    }
    model.setServer("http://depot.example.com");
    if (auto* footerButton = find(window, "openDepot")) QMetaObject::invokeMethod(footerButton, "clicked");
    shooter.shoot(window, "09-footer-error");

    for (auto* settings : engine.rootObjects().first()->findChildren<QQuickWindow*>()) {
        {
            settings->show();
            if (!QTest::qWaitForWindowExposed(settings)) return 1;
            shooter.shoot(settings, "10-settings");
        }
    }
    return shooter.failures() == 0 ? 0 : 1;
}
