#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QQuickPaintedItem>
#include <QTimer>
#include <QtQml/qqmlregistration.h>

#include "app/burko_state.h"
#include "pet/burko_animation.h"
#include "pet/burko_sheet.h"

namespace nvx {

class ReduceMotion;

// Draws one frame of the pet's sprite sheet for its state. A 0.08 s timer
// advances the animation, but only while the item is in a window, the state
// is not `measuring` (nothing may compete with a measurement) and the
// desktop does not ask for reduced motion.
class BurkoCanvas : public QQuickPaintedItem {
    Q_OBJECT
    QML_ELEMENT

    // The state to show; a change restarts the animation clock.
    Q_PROPERTY(nvx::BurkoStateNamespace::BurkoState petState READ petState WRITE setPetState NOTIFY petStateChanged)
    // What the pet is doing, for assistive technology; empty while there is
    // no sprite sheet to draw from.
    Q_PROPERTY(QString accessibleLabel READ accessibleLabel NOTIFY accessibleLabelChanged)
    // Whether the animation timer is running.
    Q_PROPERTY(bool animating READ animating NOTIFY animatingChanged)

public:
    explicit BurkoCanvas(QQuickItem* parent = nullptr);

    BurkoState petState() const { return petState_; }
    void setPetState(BurkoState state);
    QString accessibleLabel() const { return accessibleLabel_; }
    bool animating() const { return timer_.isActive(); }

    // The pose drawn last and where the frame went, in item coordinates.
    BurkoPose pose() const { return pose_; }
    QRectF spriteRect() const;
    // Timer ticks since construction; a measurement must see none.
    qint64 ticks() const { return ticks_; }

    // The frames drawn on a screen of this pixel density: the bundled sheet
    // at twice the size where a point has more than one pixel (so the pet
    // stays sharp) once it is ready, else the frames set.
    const BurkoFrames& framesAt(qreal devicePixelRatio) const;

    // For tests: other frames (an empty set draws nothing) and another
    // reduce-motion source than the desktop's.
    void setFrames(const BurkoFrames* frames);
    void setReduceMotion(ReduceMotion* source);

    void paint(QPainter* painter) override;

signals:
    void petStateChanged();
    void accessibleLabelChanged();
    void animatingChanged();

protected:
    void itemChange(ItemChange change, const ItemChangeData& data) override;
    void geometryChange(const QRectF& newGeometry, const QRectF& oldGeometry) override;

private:
    void configureTimer();
    void configureTimer(const QQuickWindow* inWindow);
    void redrawPet();
    bool reduceMotion() const;
    double secondsSinceEpoch() const;

    BurkoState petState_ = BurkoState::idle;
    QTimer timer_;
    QElapsedTimer epoch_;
    const BurkoFrames* frames_;
    QPointer<ReduceMotion> reduceMotion_;
    QMetaObject::Connection reduceMotionConnection_;
    BurkoPose pose_;
    bool hasPose_ = false;
    QString accessibleLabel_;
    qint64 ticks_ = 0;
};

}  // namespace nvx
