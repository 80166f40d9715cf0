#include "playback/frame_sampler.h"

#include "media/picture.h"

namespace carvel {

FrameSampler::FrameSampler(int fps, QSize size, Emit emit)
    : fps_(fps), emit_(std::move(emit)), current_(size, media::kPictureFormat) {
    current_.fill(Qt::black);
}

bool FrameSampler::change(const QImage& picture, double dueMs) {
    if (!emitBefore(dueMs)) {
        return false;
    }
    current_ = picture;  // shared: the compositor's next change makes its own copy
    return true;
}

bool FrameSampler::finish(double endMs) {
    if (!emitBefore(endMs)) {
        return false;
    }
    if (next_ == 0) {
        failed_ = !emit_(current_);
        ++next_;
    }
    return !failed_;
}

bool FrameSampler::emitBefore(double ms) {
    // Frame k's time is k x 1000 / fps ms, compared as k x 1000 < ms x fps so that a change at a
    // frame's exact time is not lost to rounding.
    while (!failed_ && static_cast<double>(next_) * 1000 < ms * fps_) {
        failed_ = !emit_(current_);
        ++next_;
    }
    return !failed_;
}

}  // namespace carvel
