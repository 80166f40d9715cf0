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
    if (size == primary_.size()) {
        return;
    }
    // What the surfaces show stays, scaled: pictures are decoded at the designed size anyway.
    for (QImage* surface : {&base_, &layer_, &primary_}) {
        QImage resized(size, media::kPictureFormat);
        if (surface->isNull()) {
            media::fillBlack(resized);
        } else {
            media::copyScaled(*surface, resized);
        }
        *surface = std::move(resized);
    }
}

void Compositor::clear() {
    media::fillBlack(base_);
    media::fillBlack(layer_);
    media::fillBlack(primary_);
    layerBlack_ = true;
}

void Compositor::setPicture(const media::PicturePtr& picture, bool layer) {
    QImage& surface = layer ? layer_ : base_;
    if (picture) {
        media::copyScaled(*picture, surface);
    } else {
        media::fillBlack(surface);
    }
    if (layer) {
        layerBlack_ = !picture;
    }
}

void Compositor::setFrame(const QImage& frame, bool layer) {
    QImage& surface = layer ? layer_ : base_;
    if (frame.isNull()) {
        media::fillBlack(surface);
    } else if (frame.size() == surface.size() && frame.format() == surface.format()) {
        surface = frame;
    } else {
        media::copyScaled(frame, surface);
    }
    if (layer) {
        layerBlack_ = frame.isNull();
    }
}

void Compositor::compose(const media::PicturePtr& overlay) {
    if (overlay) {
        media::copyScaled(*overlay, primary_);
    } else if (layerBlack_) {
        primary_ = base_;  // shared: whoever writes to either gets a copy of its own
    } else {
        media::copyScaled(base_, primary_);
        media::copyScaledKeyed(layer_, primary_);
    }
}

}  // namespace carvel
