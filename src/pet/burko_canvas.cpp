#include "burko_canvas.h"

#include <QPainter>
#include <QQuickWindow>

#include <algorithm>

#include "pet/high_density_frames.h"
#include "pet/reduce_motion.h"

namespace nvx {

namespace {

constexpr int frameIntervalMs = 80;
constexpr double tallestSprite = 182.0;
constexpr int sheetRows = 11;

}  // namespace

BurkoCanvas::BurkoCanvas(QQuickItem* parent)
    : QQuickPaintedItem(parent), frames_(&sharedBurkoFrames()) {
    timer_.setInterval(frameIntervalMs);
    timer_.setTimerType(Qt::CoarseTimer);
    // The timer is a member: it dies with the canvas and never outlives it.
    connect(&timer_, &QTimer::timeout, this, [this] {
        ++ticks_;
        redrawPet();
    });
    epoch_.start();
    setReduceMotion(ReduceMotion::desktop());
    // The sharper frames of a dense screen arrive a moment after the first.
    connect(HighDensityFrames::instance(), &HighDensityFrames::ready, this, [this] { update(); });
}

void BurkoCanvas::setPetState(BurkoState state) {
    const bool changed = state != petState_;
    petState_ = state;
    if (changed) {
        epoch_.restart();
        configureTimer();
        emit petStateChanged();
    }
    redrawPet();
}

void BurkoCanvas::setFrames(const BurkoFrames* frames) {
    frames_ = frames;
    hasPose_ = false;
    redrawPet();
}

void BurkoCanvas::setReduceMotion(ReduceMotion* source) {
    disconnect(reduceMotionConnection_);
    reduceMotion_ = source;
    if (source) {
        reduceMotionConnection_ = connect(source, &ReduceMotion::enabledChanged, this, [this] {
            configureTimer();
            redrawPet();
        });
    }
    configureTimer();
    redrawPet();
}

bool BurkoCanvas::reduceMotion() const { return reduceMotion_ && reduceMotion_->enabled(); }

double BurkoCanvas::secondsSinceEpoch() const { return epoch_.nsecsElapsed() / 1e9; }

void BurkoCanvas::configureTimer() { configureTimer(window()); }

void BurkoCanvas::configureTimer(const QQuickWindow* inWindow) {
    const bool wasActive = timer_.isActive();
    timer_.stop();
    if (inWindow && petState_ != BurkoState::measuring && !reduceMotion()) timer_.start();
    if (wasActive != timer_.isActive()) emit animatingChanged();
}

void BurkoCanvas::redrawPet() {
    if (!frames_ || frames_->size() != sheetRows) {
        if (!accessibleLabel_.isEmpty()) {
            accessibleLabel_.clear();
            emit accessibleLabelChanged();
        }
        if (hasPose_) update();
        hasPose_ = false;
        return;
    }
    const bool reduce = reduceMotion();
    const BurkoPose pose = burkoPose(petState_, reduce ? 0.0 : secondsSinceEpoch(), reduce);
    // Most ticks land inside the same frame: repaint only on a visible change.
    if (!hasPose_ || pose != pose_) {
        pose_ = pose;
        hasPose_ = true;
        update();
    }
    const QString label = burkoAccessibleLabel(petState_);
    if (label != accessibleLabel_) {
        accessibleLabel_ = label;
        emit accessibleLabelChanged();
    }
}

QRectF BurkoCanvas::spriteRect() const {
    const double h = std::min(tallestSprite, height());
    const double w = h * 192.0 / 208.0;
    // Standing on the bottom edge, centred, moved by the pose's shift.
    return {(width() - w) * 0.5 + pose_.shift, height() - h, w, h};
}

const BurkoFrames& BurkoCanvas::framesAt(qreal devicePixelRatio) const {
    if (devicePixelRatio > 1.0 && frames_ == &sharedBurkoFrames()) {
        if (const BurkoFrames* dense = HighDensityFrames::instance()->frames()) return *dense;
    }
    return *frames_;
}

void BurkoCanvas::paint(QPainter* painter) {
    if (!hasPose_ || !frames_ || frames_->size() != sheetRows) return;
    const BurkoFrames& dense = framesAt(window() ? window()->effectiveDevicePixelRatio() : 1.0);
    // The dense sheet keeps only the frames the animation shows.
    const bool hasFrame = pose_.frame < static_cast<int>(dense[static_cast<std::size_t>(pose_.row)].size());
    const auto& row = (hasFrame ? dense : *frames_)[static_cast<std::size_t>(pose_.row)];
    if (pose_.frame < 0 || pose_.frame >= static_cast<int>(row.size())) return;
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    painter->drawImage(spriteRect(), row[static_cast<std::size_t>(pose_.frame)]);
}

void BurkoCanvas::itemChange(ItemChange change, const ItemChangeData& data) {
    QQuickPaintedItem::itemChange(change, data);
    if (change == ItemSceneChange) {
        configureTimer(data.window);
        redrawPet();
    }
}

void BurkoCanvas::geometryChange(const QRectF& newGeometry, const QRectF& oldGeometry) {
    QQuickPaintedItem::geometryChange(newGeometry, oldGeometry);
    update();
}

}  // namespace nvx
