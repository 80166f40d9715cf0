#include "playback/compositor.h"

#include "media/picture.h"
#include "media/picture_ops.h"

namespace carvel {

Compositor::Compositor(QSize size) {
    resize(size);
}

void Compositor::resize(QSize size) {
    if (size.isEmpty()) {
        size = QSize(1, 1);
    }
    base_ = QImage(size, media::kPictureFormat);
    layer_ = QImage(size, media::kPictureFormat);
    primary_ = QImage(size, media::kPictureFormat);
    clear();
}

void Compositor::clear() {
    media::fillBlack(base_);
    media::fillBlack(layer_);
    media::fillBlack(primary_);
}

void Compositor::loadPicture(const ChartState& chart, long long index, bool layer) {
    QImage& surface = layer ? layer_ : base_;
    if (chart.pictureLoaded(index) && chart.ddsBmp[static_cast<size_t>(index)]) {
        media::copyScaled(*chart.ddsBmp[static_cast<size_t>(index)], surface);
    } else {
        media::fillBlack(surface);
    }
}

void Compositor::compose(const ChartState& chart) {
    if (chart.blnTitleBGA && chart.blnStage && chart.ddsStage) {
        media::copyScaled(*chart.ddsStage, primary_);
    } else if (chart.blnMissBGA && chart.pictureLoaded(chart.intMissBmp) &&
               chart.ddsBmp[static_cast<size_t>(chart.intMissBmp)]) {
        media::copyScaled(*chart.ddsBmp[static_cast<size_t>(chart.intMissBmp)], primary_);
    } else {
        media::copyScaled(base_, primary_);
        media::copyScaledKeyed(layer_, primary_);
    }
}

}  // namespace carvel
