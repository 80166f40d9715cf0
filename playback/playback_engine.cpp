#include "playback/playback_engine.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "chart/channels.h"

namespace carvel {

namespace {}  // namespace

PlaybackEngine::PlaybackEngine(const Chart& chart, const ChartMedia& media,
                               media::SoundOutput& sound, Clock& clock, Host& host,
                               DisplayState* display)
    : Playback(media, sound, clock, host, display), chart_(chart) {}

void PlaybackEngine::play() {
    if (chart_.table().events.empty()) {
        return;
    }
    startMs_ = clock_.nowMs();
    handledAt_ = startMs_;
    position_ = -1;
    nextEvent_ = 1;
    beginRun();
}

void PlaybackEngine::fastForward() {
    startMs_ = wrapClock(startMs_ - 1000);
    nextEvent_ += 10;
    host_.wake();
}

void PlaybackEngine::rewind() {
    startMs_ = wrapClock(startMs_ + 1000);
    nextEvent_ = std::max(1LL, nextEvent_ - 50);
    host_.wake();
}

double PlaybackEngine::positionAt(double clockMs) const {
    return chart_.bpm / 240.0 * 192 * elapsedMs(clockMs, startMs_) / 1000;
}

double PlaybackEngine::dueClock(double tick) const {
    // The first clock reading at which the position formula reaches `tick`.
    double t = startMs_ + tick * 1250 / chart_.bpm;
    for (int i = 0; i < 8 && positionAt(wrapClock(t)) < tick; ++i) {
        t = std::nextafter(t, std::numeric_limits<double>::infinity());
    }
    return wrapClock(t);
}

Step PlaybackEngine::loopPass() {
    const auto count = static_cast<long long>(chart_.table().events.size());
    if (nextEvent_ > count || nextEvent_ < 1) {
        if (loop_ && nextEvent_ > count) {
            return loopSeam();
        }
        phase_ = Phase::EndOfRun;
        return {Step::Kind::Again};
    }
    const Event& event = chart_.table().events[static_cast<size_t>(nextEvent_ - 1)];
    const double tick = positionField(event.position);
    if (loop_ && !(tick * 1250 / chart_.bpm < loop_->bMs)) {
        return loopSeam();
    }
    if (tick <= position_) {
        handle(event, tick);
    }
    position_ = positionAt(clock_.nowMs());
    return phase_ == Phase::Loop ? nextStep() : Step{Step::Kind::Again};
}

Step PlaybackEngine::loopSeam() {
    const double seam = wrapClock(startMs_ + loop_->bMs);
    if (elapsedMs(clock_.nowMs(), seam) < 0) {
        return {Step::Kind::WaitUntil, seam};
    }
    jumpTo(loop_->aMs, seam);
    return {Step::Kind::Again};
}

Step PlaybackEngine::nextStep() {
    const auto count = static_cast<long long>(chart_.table().events.size());
    if (!playing_ || nextEvent_ > count || nextEvent_ < 1) {
        return {Step::Kind::Again};
    }
    const double next =
        positionField(chart_.table().events[static_cast<size_t>(nextEvent_ - 1)].position);
    if (next <= position_) {
        return {Step::Kind::Again};
    }
    if (const std::optional<Step> end = endIfTooFar((next - position_) * 1250 / chart_.bpm)) {
        return *end;
    }
    const double due = dueClock(next);
    if (!std::isfinite(due)) {
        return {Step::Kind::Again};
    }
    return {Step::Kind::WaitUntil, due};
}

void PlaybackEngine::handle(const Event& event, double tick) {
    if (position_ - tick > 10 && display_.skipLateEvents) {
        ++nextEvent_;
        return;
    }
    const double due = wrapClock(startMs_ + tick * 1250 / chart_.bpm);
    if (elapsedMs(due, handledAt_) > 0) {
        handledAt_ = due;
    }
    const int channel = event.channel;
    if (channels::isClassicSound(channel)) {
        if (!silenced(channel)) {
            startSound(event.value, handledAt_, classicLane(event.channel));
        }
    } else if (channel == kBarEndChannel) {
        const auto ratio =
            static_cast<size_t>(event.value) < chart_.table().barEndRatios.size()
                ? ratioField(chart_.table().barEndRatios[static_cast<size_t>(event.value)])
                : 0.0;
        const double jump = (1 - ratio) * 240 * 1000 / chart_.bpm;
        if (std::isfinite(jump) && std::fabs(jump) < 1e12) {
            startMs_ = wrapClock(std::nearbyint(startMs_ - jump));
        }
    } else if (channels::isPicture(channel)) {
        if (display_.picturesShown) {
            showPicture(event.value, channel == channels::kLayerPicture);
        }
    } else if (channel == channels::kMissPicture) {
        missPicture_ = event.value;
    }
    ++nextEvent_;
}

void PlaybackEngine::seekTo(double chartMs) {
    if (!std::isnan(chartMs) && takeSeek()) {
        jumpTo(std::clamp(chartMs, 0.0, kLongestWaitMs * 1000), clock_.nowMs());
    }
    host_.wake();
}

void PlaybackEngine::jumpTo(double chartMs, double atMs) {
    const std::vector<Event>& events = chart_.table().events;
    const double tick = chartMs * chart_.bpm / 1250;
    startMs_ = wrapClock(atMs - chartMs);
    handledAt_ = atMs;
    position_ = tick;
    // The first event in table order at or after the position; the table is in position order but
    // where a bar-length rewrite moved an event.
    const auto first = std::find_if(events.begin(), events.end(), [tick](const Event& e) {
        return positionField(e.position) >= tick;
    });
    nextEvent_ = (first - events.begin()) + 1;
    std::vector<LastStart> last(media_.sounds.size());
    const Event* base = nullptr;
    const Event* layer = nullptr;
    long long miss = 0;
    for (auto it = events.begin(); it != first; ++it) {
        const int channel = it->channel;
        if (channels::isClassicSound(channel) && !silenced(channel) && it->value >= 0 &&
            static_cast<std::size_t>(it->value) < last.size()) {
            last[static_cast<std::size_t>(it->value)] = {
                positionField(it->position) * 1250 / chart_.bpm, classicLane(channel)};
        } else if (channel == channels::kBasePicture) {
            base = &*it;
        } else if (channel == channels::kLayerPicture) {
            layer = &*it;
        } else if (channel == channels::kMissPicture) {
            miss = it->value;
        }
    }
    resumeRinging(last, chartMs, atMs);
    missPicture_ = miss;
    if (display_.picturesShown) {
        showOnSurface(base ? base->value : 0, false, atMs);
        showOnSurface(layer ? layer->value : 0, true, atMs);
        compose();
        host_.pictureChanged(display_.compositor.primary(), atMs);
    }
}

double PlaybackEngine::positionMs() {
    if (paused_) {
        return pausedAtMs_;
    }
    return phase_ == Phase::Idle ? 0 : elapsedMs(clock_.nowMs(), startMs_);
}

void PlaybackEngine::setLoop(double aMs, double bMs) {
    if (aMs >= 0 && bMs - aMs >= kShortestLoopMs) {
        loop_ = Loop{aMs, bMs};
    } else {
        loop_.reset();
    }
}

}  // namespace carvel
