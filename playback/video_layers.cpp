#include "playback/video_layers.h"

#include <cmath>
#include <optional>

#include "platform/clock.h"

namespace carvel {

namespace {

// A start found later than this is a jump of the position (or a late pass that shows): the stream
// seeks to the time elapsed instead of playing from its first frame.
constexpr double kSeekAfterMs = 50;

}  // namespace

void VideoLayers::setSize(QSize size) {
    size_ = size;
    for (Surface& surface : surfaces_) {
        if (surface.stream) {
            surface.stream->setSize(size);
        }
    }
}

void VideoLayers::play(bool layer, const VideoClipPtr& clip, double startMs, double nowMs) {
    Surface& surface = surfaces_[layer ? 1 : 0];
    const double offset = std::max(0.0, elapsedMs(nowMs, startMs));
    if (surface.stream && surface.clip == clip) {
        surface.stream->seek(offset);
    } else {
        surface.clip = clip;
        surface.stream = std::make_unique<media::VideoStream>(clip->path, size_, mode_);
        if (offset > kSeekAfterMs) {
            surface.stream->seek(offset);
        }
    }
    surface.startMs = startMs;
    surface.shownKey = -1;
}

void VideoLayers::stop(bool layer) {
    surfaces_[layer ? 1 : 0] = Surface();
}

void VideoLayers::stopAll() {
    stop(false);
    stop(true);
}

bool VideoLayers::showFrames(double nowMs, Compositor& compositor) {
    bool changed = false;
    for (int i = 0; i < 2; ++i) {
        Surface& surface = surfaces_[static_cast<size_t>(i)];
        if (!surface.stream) {
            continue;
        }
        const QImage frame =
            surface.stream->frameAt(std::max(0.0, elapsedMs(nowMs, surface.startMs)));
        // Until its first frame is ready a video leaves the surface as it was; one that failed
        // leaves it black.
        if (frame.isNull() && !surface.stream->failed()) {
            continue;
        }
        const qint64 key = frame.isNull() ? 0 : frame.cacheKey();
        if (key == surface.shownKey) {
            continue;
        }
        compositor.setFrame(frame, i == 1);
        surface.shownKey = key;
        changed = true;
    }
    return changed;
}

std::optional<double> VideoLayers::nextChangeMs(double nowMs) {
    std::optional<double> next;
    for (Surface& surface : surfaces_) {
        if (!surface.stream) {
            continue;
        }
        const double at =
            surface.stream->nextChangeAfter(std::max(0.0, elapsedMs(nowMs, surface.startMs)));
        if (!std::isfinite(at)) {
            continue;
        }
        const double reading = wrapClock(surface.startMs + at);
        if (!next || elapsedMs(reading, *next) < 0) {
            next = reading;
        }
    }
    return next;
}

}  // namespace carvel
