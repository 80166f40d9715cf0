#include "playback/compositor.h"

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

void Compositor::setPicture(const media::PicturePtr& picture, bool layer) {
    QImage& surface = layer ? layer_ : base_;
    if (picture) {
        media::copyScaled(*picture, surface);
    } else {
        media::fillBlack(surface);
    }
}

void Compositor::compose(const media::PicturePtr& overlay) {
    if (overlay) {
        media::copyScaled(*overlay, primary_);
    } else {
        media::copyScaled(base_, primary_);
        media::copyScaledKeyed(layer_, primary_);
    }
}

}  // namespace carvel
