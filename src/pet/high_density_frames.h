#pragma once

#include <QObject>

#include <memory>
#include <thread>

#include "pet/burko_sheet.h"

namespace nvx {

// The pet's frames at twice the size ("burko@2x.png"), for screens with
// more than one pixel per point. The sheet is 14 megapixels: it is decoded
// on a worker thread the first time a canvas asks, so that the window's
// first frame does not wait for it; until it is ready, canvases draw the
// plain frames. Only the frames the animation shows are kept.
class HighDensityFrames : public QObject {
    Q_OBJECT

public:
    // The one instance, made on first use on the main thread and owned by
    // the application.
    static HighDensityFrames* instance();
    ~HighDensityFrames() override;

    // The frames once cut; null before, and when the sheet is missing or
    // malformed. Asking starts the cutting.
    const BurkoFrames* frames();

signals:
    // The frames are ready to draw.
    void ready();

private:
    explicit HighDensityFrames(QObject* parent);

    std::thread worker_;
    bool started_ = false;
    std::unique_ptr<BurkoFrames> frames_;
};

}  // namespace nvx
