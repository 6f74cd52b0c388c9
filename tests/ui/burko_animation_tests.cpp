#include <QTest>

#include <memory>

#include "pet/burko_animation.h"

namespace nvx {

class BurkoAnimationTests : public QObject {
    Q_OBJECT

private slots:
    void frameForFindsTheFrameThatCoversTheMoment() {
        QCOMPARE(frameFor(0, 0.3, true), 1);    // 0.28 < 0.3 < 0.39
        QCOMPARE(frameFor(0, 1.2, true), 0);    // wraps to 0.1
        QCOMPARE(frameFor(0, 0.28, true), 1);   // a boundary belongs to the next frame
        QCOMPARE(frameFor(1, 0.95, true), 7);   // the long last step of a walk
        QCOMPARE(frameFor(4, 5.0, false), 4);   // a single play holds its last frame
        QCOMPARE(frameFor(3, 0.69, false), 3);
        QCOMPARE(frameFor(3, 0.15, false), 1);
    }

    void frameForAnswersZeroForUntimedRowsAndNegativeTimes() {
        QCOMPARE(frameFor(12, 1.0, true), 0);
        QCOMPARE(frameFor(9, 5.0, true), 0);
        QCOMPARE(frameFor(-1, 5.0, true), 0);
        QCOMPARE(frameFor(0, -0.5, true), 0);
        QCOMPARE(frameFor(5, -0.5, false), 0);
    }

    void inspectingWalksRightSniffsWalksLeftAndStands() {
        const auto at = [](double t) { return burkoPose(BurkoState::inspecting, t, false); };
        QCOMPARE(at(0.6).row, 1);
        QCOMPARE(at(0.6).shift, 15.0);
        QCOMPARE(at(2.0).row, 8);
        QCOMPARE(at(2.0).shift, 30.0);
        QCOMPARE(at(3.8).row, 2);
        QVERIFY(qAbs(at(3.8).shift) < 1e-9);
        QCOMPARE(at(5.0).row, 7);
        QCOMPARE(at(5.0).shift, -30.0);
        QCOMPARE(at(7.6).row, 1);  // and again every 7 s
        QCOMPARE(at(7.6).shift, 15.0);
    }

    void idleShowsItsAlternatePoseAtTheEndOfEveryCycle() {
        QCOMPARE(burkoPose(BurkoState::idle, 22.0, false), (BurkoPose{0, 0, 0.0}));
        QCOMPARE(burkoPose(BurkoState::idle, 23.0, false), (BurkoPose{9, 0, 0.0}));
        QCOMPARE(burkoPose(BurkoState::idle, 24.5, false), (BurkoPose{0, 0, 0.0}));
    }

    void celebrationsPlayOnceThenTheIdlePoseFollows() {
        QCOMPARE(burkoPose(BurkoState::complete, 0.5, false), (BurkoPose{4, 3, 0.0}));
        QCOMPARE(burkoPose(BurkoState::complete, 0.84, false), (BurkoPose{0, 0, 0.0}));
        QCOMPARE(burkoPose(BurkoState::saved, 0.3, false), (BurkoPose{3, 2, 0.0}));
        QCOMPARE(burkoPose(BurkoState::saved, 0.7, false), (BurkoPose{0, 0, 0.0}));
        QCOMPARE(burkoPose(BurkoState::failed, 30.0, false), (BurkoPose{5, 7, 0.0}));
        QCOMPARE(burkoPose(BurkoState::measuring, 3.3, false), (BurkoPose{7, 0, 0.0}));
        QCOMPARE(burkoPose(BurkoState::waiting, 0.2, false), (BurkoPose{6, 1, 0.0}));
    }

    void reducedMotionStandsStill() {
        QCOMPARE(burkoPose(BurkoState::inspecting, 2.0, true), (BurkoPose{1, 0, 0.0}));
        QCOMPARE(burkoPose(BurkoState::complete, 0.1, true), (BurkoPose{0, 0, 0.0}));
        QCOMPARE(burkoPose(BurkoState::saved, 0.1, true), (BurkoPose{0, 0, 0.0}));
        QCOMPARE(burkoPose(BurkoState::failed, 5.0, true), (BurkoPose{5, 0, 0.0}));
    }

    void labelsSayWhatThePetDoes() {
        QCOMPARE(burkoAccessibleLabel(BurkoState::measuring), QString("Бурко замер на время измерения"));
        QCOMPARE(burkoAccessibleLabel(BurkoState::complete), QString("Бурко доволен: опись завершена"));
        QCOMPARE(burkoAccessibleLabel(BurkoState::saved), QString("Бурко доволен: опись завершена"));
        for (auto state : {BurkoState::idle, BurkoState::inspecting, BurkoState::waiting, BurkoState::failed}) {
            QCOMPARE(burkoAccessibleLabel(state), QString("Бурко осматривает оборудование"));
        }
    }
};

}  // namespace nvx

#include "burko_animation_tests.moc"

std::unique_ptr<QObject> makeBurkoAnimationTests() { return std::make_unique<nvx::BurkoAnimationTests>(); }
