#include <QDir>
#include <QFile>
#include <QImage>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "pet/burko_animation.h"
#include "pet/burko_canvas.h"
#include "pet/burko_sheet.h"
#include "pet/high_density_frames.h"
#include "pet/reduce_motion.h"
#include "test_case.h"

namespace nvx {

namespace {

void writeGtkSetting(const QString& folder, const char* value) {
    QDir(folder).mkpath("gtk-3.0");
    QFile file(folder + "/gtk-3.0/settings.ini");
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QByteArray("[Settings]\ngtk-enable-animations=") + value + "\n");
}

QString writeSheet(const QTemporaryDir& folder, int width, int height) {
    QImage sheet(width, height, QImage::Format_ARGB32);
    sheet.fill(Qt::red);
    const QString path = folder.filePath(QString("sheet-%1x%2.png").arg(width).arg(height));
    sheet.save(path);
    return path;
}

}  // namespace

// A canvas in a shown offscreen window, with its own reduce-motion source.
struct CanvasInWindow {
    QTemporaryDir config;
    ReduceMotion reduceMotion{config.path()};
    QQuickWindow window;
    BurkoCanvas* canvas = new BurkoCanvas(window.contentItem());

    CanvasInWindow() {
        canvas->setReduceMotion(&reduceMotion);
        canvas->setSize({200, 184});
        window.resize(200, 184);
        window.show();
    }
};

class BurkoCanvasTests : public nvx::testing::WindowTestCase {
    Q_OBJECT

private slots:
    void theBundledSheetIsCutIntoElevenRowsOfEight() {
        const BurkoFrames& frames = sharedBurkoFrames();
        QCOMPARE(frames.size(), std::size_t(11));
        for (const auto& row : frames) {
            QCOMPARE(row.size(), std::size_t(8));
            QCOMPARE(row.front().size(), QSize(192, 208));
        }
        // Every pose the states use has something drawn in it.
        for (int row = 0; row <= 9; ++row) {
            const QImage& cell = frames[static_cast<std::size_t>(row)][0];
            bool drawn = false;
            for (int y = 0; y < cell.height() && !drawn; y += 4) {
                for (int x = 0; x < cell.width() && !drawn; x += 4) drawn = qAlpha(cell.pixel(x, y)) > 0;
            }
            QVERIFY2(drawn, qPrintable(QString("row %1 is empty").arg(row)));
        }
    }

    void denseScreensDrawFromTheSheetAtTwiceTheSize() {
        CanvasInWindow fixture;
        // The plain frames at first; the dense ones once cut in the background.
        // The tallest sprite, 182 points, needs 364 pixels at 2x: the dense
        // frames have 416.
        QSignalSpy ready(HighDensityFrames::instance(), &HighDensityFrames::ready);
        fixture.canvas->framesAt(2.0);
        QTRY_COMPARE_WITH_TIMEOUT(fixture.canvas->framesAt(2.0).front().front().height(), 416, 20000);
        QCOMPARE(fixture.canvas->framesAt(1.5).front().front().height(), 416);
        QCOMPARE(fixture.canvas->framesAt(1.0).front().front().height(), 208);
        const BurkoFrames& dense = fixture.canvas->framesAt(2.0);
        QCOMPARE(dense.size(), std::size_t(11));
        // Only what the animation shows is kept.
        for (int row = 0; row < 11; ++row)
            QCOMPARE(static_cast<int>(dense[static_cast<std::size_t>(row)].size()), framesShown(row));
        QCOMPARE(dense[0][0].size(), QSize(384, 416));
        // Frames set for a test are drawn as they are.
        const BurkoFrames none;
        fixture.canvas->setFrames(&none);
        QVERIFY(fixture.canvas->framesAt(2.0).empty());
        // A dense sheet of the wrong size gives nothing, as the plain one does.
        QTemporaryDir folder;
        QCOMPARE(cutBurkoSheet(writeSheet(folder, 3072, 4576), 2).size(), std::size_t(11));
        QVERIFY(cutBurkoSheet(writeSheet(folder, 1536, 2288), 2).empty());
    }

    void aSheetOfAnyOtherSizeGivesNoFrames() {
        QTemporaryDir folder;
        QCOMPARE(cutBurkoSheet(writeSheet(folder, 1536, 2288)).size(), std::size_t(11));
        QVERIFY(cutBurkoSheet(writeSheet(folder, 1536, 2289)).empty());
        QVERIFY(cutBurkoSheet(writeSheet(folder, 1535, 2288)).empty());
        QVERIFY(cutBurkoSheet(folder.filePath("missing.png")).empty());
        QVERIFY(cutBurkoSheet(QString()).empty());
    }

    void withoutFramesTheCanvasIsEmptyAndUnlabelled() {
        CanvasInWindow fixture;
        QVERIFY(!fixture.canvas->accessibleLabel().isEmpty());
        const BurkoFrames none;
        fixture.canvas->setFrames(&none);
        fixture.canvas->setPetState(BurkoState::measuring);
        QVERIFY(fixture.canvas->accessibleLabel().isEmpty());
        const QImage shot = fixture.window.grabWindow();
        QVERIFY(!shot.isNull());
        for (int y = 0; y < shot.height(); y += 8) {
            for (int x = 0; x < shot.width(); x += 8) {
                QVERIFY(qAlpha(shot.pixel(x, y)) == 0 || shot.pixel(x, y) == shot.pixel(0, 0));
            }
        }
    }

    void theTimerRunsOnlyInAWindowAndNeverWhileMeasuring() {
        BurkoCanvas loose;
        QVERIFY(!loose.animating());

        CanvasInWindow fixture;
        BurkoCanvas* canvas = fixture.canvas;
        QVERIFY(canvas->animating());
        canvas->setPetState(BurkoState::measuring);
        QVERIFY(!canvas->animating());
        QCOMPARE(canvas->pose(), (BurkoPose{7, 0, 0.0}));
        QCOMPARE(canvas->accessibleLabel(), QString("Бурко замер на время измерения"));
        const qint64 ticks = canvas->ticks();
        QTest::qWait(300);
        QCOMPARE(canvas->ticks(), ticks);

        canvas->setPetState(BurkoState::waiting);
        QVERIFY(canvas->animating());
        QTRY_VERIFY(canvas->ticks() > ticks);
        QCOMPARE(canvas->pose().row, 6);

        canvas->setParentItem(nullptr);
        QVERIFY(!canvas->animating());
        canvas->setParentItem(fixture.window.contentItem());
        QVERIFY(canvas->animating());
    }

    void reduceMotionStopsTheTimerAndFollowsTheDesktop() {
        CanvasInWindow fixture;
        BurkoCanvas* canvas = fixture.canvas;
        canvas->setPetState(BurkoState::inspecting);
        QVERIFY(canvas->animating());

        writeGtkSetting(fixture.config.path(), "false");
        QTRY_VERIFY(fixture.reduceMotion.enabled());
        QVERIFY(!canvas->animating());
        QCOMPARE(canvas->pose(), (BurkoPose{1, 0, 0.0}));
        canvas->setPetState(BurkoState::complete);
        QCOMPARE(canvas->pose(), (BurkoPose{0, 0, 0.0}));
        QCOMPARE(canvas->accessibleLabel(), QString("Бурко доволен: опись завершена"));

        // Switching animations back on starts the timer with no other event.
        writeGtkSetting(fixture.config.path(), "true");
        QTRY_VERIFY(!fixture.reduceMotion.enabled());
        QVERIFY(canvas->animating());
    }

    void theSpriteStandsOnTheBottomEdgeAndKeepsItsProportions() {
        CanvasInWindow fixture;
        BurkoCanvas* canvas = fixture.canvas;
        canvas->setPetState(BurkoState::measuring);
        canvas->setSize({200, 100});
        QCOMPARE(canvas->spriteRect().height(), 100.0);
        QVERIFY(qAbs(canvas->spriteRect().width() - 92.31) < 0.01);
        QVERIFY(qAbs(canvas->spriteRect().center().x() - 100.0) < 1e-9);
        QCOMPARE(canvas->spriteRect().bottom(), 100.0);
        canvas->setSize({200, 400});
        QCOMPARE(canvas->spriteRect().height(), 182.0);
        QCOMPARE(canvas->spriteRect().bottom(), 400.0);
    }

    void assigningTheSameStateKeepsTheClock() {
        CanvasInWindow fixture;
        BurkoCanvas* canvas = fixture.canvas;
        canvas->setPetState(BurkoState::inspecting);
        QTest::qWait(250);
        canvas->setPetState(BurkoState::inspecting);
        QVERIFY(canvas->pose().shift > 4.0);  // still walking, not back at the start
        canvas->setPetState(BurkoState::waiting);
        canvas->setPetState(BurkoState::inspecting);
        QVERIFY(canvas->pose().shift < 2.0);
    }
};

}  // namespace nvx

#include "burko_canvas_tests.moc"

std::unique_ptr<QObject> makeBurkoCanvasTests() { return std::make_unique<nvx::BurkoCanvasTests>(); }
