// The real depotrium window on a private X desktop, driven the way a person
// drives it: keys and clicks from xdotool, aimed and checked through the
// accessibility tree a screen reader sees. A real nvx-depot receives the
// report. Screenshots of every step go to NVX_E2E_SHOTS (by default the
// build folder's window-end-to-end/).

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPixmap>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>

#include <sqlite3.h>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include "accessibility_tree.h"
#include "desktop_process.h"
#include "desktop_session.h"

namespace nvx::testing {

using namespace std::chrono_literals;

namespace {

const QString application = QStringLiteral("NVX Depotrium");

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Whether any value of any row of any table of the depot's database is
// exactly `bytes`: how the depot lays out its tables is its own business;
// what counts is that it keeps the submitted document verbatim.
bool databaseHolds(const QString& database, const QByteArray& bytes) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(database).constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return false;
    }
    QStringList tables;
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, "SELECT name FROM sqlite_master WHERE type = 'table'", -1, &statement, nullptr);
    while (sqlite3_step(statement) == SQLITE_ROW)
        tables << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
    sqlite3_finalize(statement);
    bool found = false;
    for (const QString& table : tables) {
        const QByteArray query = "SELECT * FROM \"" + table.toUtf8() + "\"";
        sqlite3_prepare_v2(db, query.constData(), -1, &statement, nullptr);
        while (!found && sqlite3_step(statement) == SQLITE_ROW) {
            for (int column = 0; column < sqlite3_column_count(statement); ++column) {
                const void* value = sqlite3_column_blob(statement, column);
                const int size = sqlite3_column_bytes(statement, column);
                if (value && QByteArray(static_cast<const char*>(value), size) == bytes) found = true;
            }
        }
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return found;
}

}  // namespace

class WindowEndToEndTests : public QObject {
    Q_OBJECT

public:
    explicit WindowEndToEndTests(DesktopSession& desktop) : desktop_(desktop) {}

private slots:
    void initTestCase() {
        QVERIFY2(desktop_.failure().isEmpty(), qPrintable(desktop_.failure()));
        shots_ = qEnvironmentVariableIsSet("NVX_E2E_SHOTS") ? qEnvironmentVariable("NVX_E2E_SHOTS")
                                                            : QStringLiteral(NVX_E2E_SHOTS_DIR);
        QDir(shots_).removeRecursively();
        QVERIFY(QDir().mkpath(shots_));
        tree_ = std::make_unique<AccessibilityTree>(desktop_.busAddress());
        QVERIFY2(tree_->connected(), "no accessibility bus on the session bus");

        depot_ = std::make_unique<DesktopProcess>(
            NVX_DEPOT_BINARY, QStringList{"--listen", "127.0.0.1:0", "--db", desktop_.path("depot.sqlite")},
            desktop_.environment(), desktop_.path("logs/depot"));
        const auto address = depot_->waitForOutput(R"((http://127\.0\.0\.1:[0-9]+))", 20s);
        QVERIFY2(address, depot_->standardError().constData());
        server_ = *address;
    }

    void cleanupTestCase() {
        window_.reset();
        depot_.reset();
    }

    void aPersonTakesTheInventoryAndHandsItToTheDepot() {
        QStringList environment = desktop_.environment();
        environment << "NVX_SERVER_URL=" + server_ << "NVX_DATA_DIR=" + desktop_.path("data") << "QT_QPA_PLATFORM=xcb"
                    << "QT_QUICK_BACKEND=software"
                    << "QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1";
        window_ = std::make_unique<DesktopProcess>(NVX_DEPOTRIUM_BINARY, QStringList{}, environment,
                                                   desktop_.path("logs/depotrium"));

        // The window opens with its main action focused.
        const auto start = waitForNode("push button", "Начать опись и тест", 60s);
        QVERIFY2(start, "the window did not show its start button");
        focusWindow();
        shot("01-opened");
        QVERIFY(waitUntil([&] { return node("push button", "Начать опись и тест").value_or(*start).focused; }, 10s));

        // The disk test off, with the mouse.
        const QString diskTest = "Проверить диск временным файлом 128 МиБ";
        const auto disk = node("check box", diskTest);
        QVERIFY(disk && disk->checked);
        click(*disk);
        QVERIFY(waitUntil([&] { return !node("check box", diskTest).value_or(*disk).checked; }, 10s));
        shot("02-disk-test-off");

        // The click left the keyboard on the box; Tab leads on to the start.
        key("Tab");
        QVERIFY(waitUntil([&] { return node("push button", "Начать опись и тест").value_or(*start).focused; }, 10s));
        key("space");
        QVERIFY2(waitForNode("text", "Название", 240s), "the run did not finish");
        shot("03-results");
        const QStringList drafts = QDir(desktop_.path("data/pending")).entryList({"*.json"}, QDir::Files);
        QCOMPARE(drafts.size(), 1);
        const QString draft = desktop_.path("data/pending/" + drafts.front());

        // The three labels, key by key; the name field has the keyboard.
        const QString name = "Монтажная 3", owner = "Отдел видео", location = "Склад Б, стеллаж 4";
        QVERIFY(waitUntil([&] { return node("text", "Название").value_or(AccessibleNode{}).focused; }, 10s));
        typeInto("Название", name);
        key("Tab");
        typeInto("Владелец", owner);
        key("Tab");
        typeInto("Локация", location);
        QCOMPARE(textOf("Название"), name);
        QCOMPARE(textOf("Владелец"), owner);
        // The draft on disk carries them as typed.
        const QJsonObject stored = QJsonDocument::fromJson(readFile(draft)).object();
        QCOMPARE(stored.value("name").toString(), name);
        QCOMPARE(stored.value("owner").toString(), owner);
        QCOMPARE(stored.value("location").toString(), location);
        shot("04-labels-typed");

        // On past the description to the submit button, and send.
        key("Tab");
        key("Tab");
        QVERIFY(
            waitUntil([&] { return node("push button", "Принять на склад").value_or(AccessibleNode{}).focused; }, 10s));
        key("space");
        QVERIFY2(waitForNode("push button", "Опись принята", 60s), "the depot did not confirm the report");
        QVERIFY(node("label", "Склад подтвердил сохранение описи"));
        shot("05-accepted");

        // The record in the browser.
        const auto record = node("link", "Открыть опись на сайте");
        QVERIFY(record);
        click(*record);
        QVERIFY(waitUntil([&] { return !desktop_.openedAddresses().isEmpty(); }, 10s));
        const QString opened = desktop_.openedAddresses().front();
        QVERIFY2(QRegularExpression("^" + QRegularExpression::escape(server_) + "/?\\?run=[0-9a-f-]{36}$")
                     .match(opened)
                     .hasMatch(),
                 qPrintable(opened));
        shot("06-record-opened");

        // The report saved as a file, through the save dialog.
        const auto exportButton = node("push button", "Сохранить JSON…");
        QVERIFY(exportButton);
        click(*exportButton);
        const auto save = waitForNode("push button", "Сохранить", 30s);
        QVERIFY2(save, "the save dialog did not open");
        shot("07-save-dialog");
        click(*save);
        const QString exported = desktop_.path("home/NVX-" + QFileInfo(draft).completeBaseName().left(8) + ".json");
        QVERIFY(waitUntil([&] { return QFile::exists(exported); }, 10s));
        QVERIFY(waitUntil([&] { return !node("push button", "Сохранить"); }, 10s));
        shot("08-exported");

        // The depot holds exactly the report the window exported, with the
        // labels as typed; the draft is gone.
        const QByteArray document = readFile(exported);
        const QJsonObject report = QJsonDocument::fromJson(document).object();
        QCOMPARE(report.value("name").toString(), name);
        QCOMPARE(report.value("owner").toString(), owner);
        QCOMPARE(report.value("location").toString(), location);
        QCOMPARE(report.value("id").toString(), QFileInfo(draft).completeBaseName());
        QVERIFY(databaseHolds(desktop_.path("depot.sqlite"), document));
        QVERIFY(!QFile::exists(draft));

        // The application menu's "Выйти" ends the program cleanly, and it
        // printed no warning.
        const auto menu = node("menu bar", "NVX Depotrium");
        QVERIFY(menu);
        click(*menu);
        const auto quit = waitForNode("menu item", "Выйти", 10s);
        QVERIFY2(quit, "the application menu did not open");
        click(*quit);
        const auto status = window_->waitForExit(20s);
        const QString errors = QString::fromUtf8(window_->standardError());
        QVERIFY2(status == std::optional<int>(0), qPrintable(errors.right(6000)));
        QVERIFY2(!errors.contains("qrc:/") && !errors.contains("QML") && !errors.contains("Binding loop"),
                 qPrintable(errors));
    }

private:
    std::optional<AccessibleNode> node(const QString& role, const QString& name) const {
        return tree_->find(application, role, name);
    }
    // The text of the text field named `name`; empty while there is none.
    QString textOf(const QString& name) const {
        const auto field = node("text", name);
        return field ? tree_->text(*field) : QString();
    }
    std::optional<AccessibleNode> waitForNode(const QString& role, const QString& name,
                                              std::chrono::milliseconds limit) const {
        std::optional<AccessibleNode> found;
        waitUntil([&] { return (found = node(role, name)).has_value(); }, limit);
        return found;
    }
    static bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline) {
            if (done()) return true;
            QTest::qWait(100);
        }
        return done();
    }

    void xdotool(const QStringList& arguments) const {
        DesktopProcess tool("xdotool", arguments, desktop_.environment(), desktop_.path("logs/xdotool"));
        QCOMPARE(tool.waitForExit(20s), std::optional<int>(0));
        QTest::qWait(50);  // let the window take it in
    }
    void focusWindow() const {
        DesktopProcess search("xdotool", {"search", "--sync", "--onlyvisible", "--name", "^NVX Depotrium$"},
                              desktop_.environment(), desktop_.path("logs/xdotool-search"));
        QCOMPARE(search.waitForExit(20s), std::optional<int>(0));
        const QString window = QString::fromUtf8(search.standardOutput()).split('\n').value(0);
        xdotool({"windowfocus", "--sync", window});
    }
    void click(const AccessibleNode& target) const {
        const QPoint centre = target.extents.center();
        xdotool({"mousemove", "--sync", QString::number(centre.x()), QString::number(centre.y()), "click", "1"});
    }
    void key(const QString& keys) const { xdotool({"key", keys}); }
    // Types into the focused field named `field` one key at a time, each
    // key seen in the field before the next. (xdotool types a letter that
    // the X keymap lacks by remapping a key for it; one letter per call
    // keeps those remappings from overtaking each other.)
    void typeInto(const QString& field, const QString& text) const {
        QString typed;
        for (const QChar character : text) {
            typed += character;
            xdotool({"type", QString(character)});
            QVERIFY2(waitUntil([&] { return textOf(field) == typed; }, 10s),
                     qPrintable(field + ": \"" + textOf(field) + "\" after typing \"" + typed + "\""));
        }
    }
    void shot(const QString& name) const {
        QTest::qWait(300);
        const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
        QVERIFY(screen.save(QDir(shots_).filePath(name + ".png")));
    }

    DesktopSession& desktop_;
    QString shots_;
    QString server_;
    std::unique_ptr<AccessibilityTree> tree_;
    std::unique_ptr<DesktopProcess> depot_;
    std::unique_ptr<DesktopProcess> window_;
};

}  // namespace nvx::testing

int main(int argc, char** argv) {
    nvx::testing::DesktopSession desktop;
    // The test's own connection to the same X server, for the screenshots.
    const QByteArray display = desktop.display().toUtf8();
    std::vector<char*> arguments{argv[0]};
    char platformOption[] = "-platform";
    char xcb[] = "xcb";
    char offscreen[] = "offscreen";  // no desktop: the test reports why and fails
    char displayOption[] = "-display";
    std::vector<char> displayName(display.begin(), display.end());
    displayName.push_back('\0');
    if (!display.isEmpty()) {
        arguments.insert(arguments.end(), {platformOption, xcb, displayOption, displayName.data()});
    } else {
        arguments.insert(arguments.end(), {platformOption, offscreen});
    }
    int count = static_cast<int>(arguments.size());
    arguments.push_back(nullptr);
    QGuiApplication application(count, arguments.data());
    nvx::testing::WindowEndToEndTests test(desktop);
    return QTest::qExec(&test, argc, argv);
}

#include "window_end_to_end_tests.moc"
