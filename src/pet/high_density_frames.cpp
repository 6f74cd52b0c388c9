#include "high_density_frames.h"

#include <QCoreApplication>
#include <QPointer>

#include <system_error>

#include "core/resources.h"
#include "pet/burko_animation.h"

namespace nvx {

namespace {
constexpr std::size_t sheetRows = 11;
}

HighDensityFrames* HighDensityFrames::instance() {
    static QPointer<HighDensityFrames> one;
    if (!one) one = new HighDensityFrames(QCoreApplication::instance());
    return one;
}

HighDensityFrames::HighDensityFrames(QObject* parent) : QObject(parent) {}

HighDensityFrames::~HighDensityFrames() {
    // A decode still running finishes first; its result is dropped with the
    // object it was queued to.
    if (worker_.joinable()) worker_.join();
}

const BurkoFrames* HighDensityFrames::frames() {
    if (!started_) {
        started_ = true;
        const auto path = resourcePath("burko@2x", "png");
        if (path.empty()) return nullptr;
        const QString file = QString::fromStdString(path.string());
        auto work = [this, file] {
            auto cut = std::make_unique<BurkoFrames>(cutBurkoSheet(file, 2, framesShown));
            QMetaObject::invokeMethod(
                this,
                [this, cut = std::shared_ptr<BurkoFrames>(std::move(cut))]() mutable {
                    if (worker_.joinable()) worker_.join();
                    if (cut->size() != sheetRows) return;
                    frames_ = std::make_unique<BurkoFrames>(std::move(*cut));
                    emit ready();
                },
                Qt::QueuedConnection);
        };
        try {
            worker_ = std::thread(std::move(work));
        } catch (const std::system_error&) {
            // No thread to spare: the plain frames serve.
        }
    }
    return frames_.get();
}

}  // namespace nvx
