#include <QTest>

#include <memory>

#include "pet/reduce_motion.h"

namespace nvx {

class ReduceMotionTests : public QObject {
    Q_OBJECT

private slots:
    void gtkSettingsSayWhetherAnimationsRun() {
        QCOMPARE(ReduceMotion::gtkAnimationsEnabled("[Settings]\ngtk-enable-animations=0\n"), std::optional(false));
        QCOMPARE(ReduceMotion::gtkAnimationsEnabled("[Settings]\n gtk-enable-animations = false\n"), std::optional(false));
        QCOMPARE(ReduceMotion::gtkAnimationsEnabled("[Settings]\ngtk-enable-animations=true"), std::optional(true));
        // Only the [Settings] group counts, and silence means nothing.
        QCOMPARE(ReduceMotion::gtkAnimationsEnabled("[Other]\ngtk-enable-animations=0\n"), std::nullopt);
        QCOMPARE(ReduceMotion::gtkAnimationsEnabled("[Settings]\ngtk-theme-name=Adwaita\n"), std::nullopt);
        QCOMPARE(ReduceMotion::gtkAnimationsEnabled(""), std::nullopt);
    }

    void kdeSwitchesAnimationsOffWithAZeroDurationFactor() {
        QCOMPARE(ReduceMotion::kdeAnimationsEnabled("[KDE]\nAnimationDurationFactor=0\n"), std::optional(false));
        QCOMPARE(ReduceMotion::kdeAnimationsEnabled("[KDE]\nAnimationDurationFactor=0.5\n"), std::optional(true));
        QCOMPARE(ReduceMotion::kdeAnimationsEnabled("[General]\nAnimationDurationFactor=0\n"), std::nullopt);
        QCOMPARE(ReduceMotion::kdeAnimationsEnabled("[KDE]\nAnimationDurationFactor=slow\n"), std::nullopt);
    }
};

}  // namespace nvx

#include "reduce_motion_tests.moc"

std::unique_ptr<QObject> makeReduceMotionTests() { return std::make_unique<nvx::ReduceMotionTests>(); }
