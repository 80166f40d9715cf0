#include "playback/timed_playback_engine.h"

#include <algorithm>
#include <cmath>

#include "chart/channels.h"

namespace carvel {

namespace {

// Clock differences are only meaningful within 2^31 ms; an event further back than this is taken
// as long past.
constexpr double kFarMs = 1 << 30;

}  // namespace

TimedPlaybackEngine::TimedPlaybackEngine(const Chart& chart, const ChartMedia& media,
                                         media::SoundOutput& sound, Clock& clock, Host& host,
                                         DisplayState* display)
    : Playback(media, sound, clock, host, display), chart_(chart) {}

void TimedPlaybackEngine::play() {
    if (chart_.timeline().events.empty()) {
        return;
    }
    startMs_ = clock_.nowMs();
    handledAt_ = startMs_;
    next_ = 0;
    beginRun();
}

Step TimedPlaybackEngine::loopPass() {
    const std::vector<TimedEvent>& events = chart_.timeline().events;
    if (loop_ && (next_ >= events.size() || !(events[next_].timeMs < loop_->bMs))) {
        const double seam = wrapClock(startMs_ + loop_->bMs);
        if (elapsedMs(clock_.nowMs(), seam) < 0) {
            return {Step::Kind::WaitUntil, seam};
        }
        jumpTo(loop_->aMs, seam);
        return {Step::Kind::Again};
    }
    if (next_ >= events.size()) {
        phase_ = Phase::EndOfRun;
        return {Step::Kind::Again};
    }
    const TimedEvent& event = events[next_];
    if (!std::isfinite(event.timeMs)) {
        ++next_;
        return {Step::Kind::Again};
    }
    const double now = clock_.nowMs();
    const double ahead = event.timeMs - elapsedMs(now, startMs_);
    if (const std::optional<Step> end = endIfTooFar(ahead)) {
        return *end;
    }
    // The wait ends exactly at the due reading, and the same reading counts as due.
    const double due = wrapClock(startMs_ + event.timeMs);
    const double late = ahead < -kFarMs ? -ahead : elapsedMs(now, due);
    if (late < 0) {
        return {Step::Kind::WaitUntil, due};
    }
    handle(event, late);
    ++next_;
    return {Step::Kind::Again};
}

void TimedPlaybackEngine::handle(const TimedEvent& event, double lateMs) {
    if (display_.skipLateEvents && lateMs > kLateMs) {
        return;
    }
    handledAt_ = wrapClock(startMs_ + event.timeMs);
    const int channel = event.channel;
    if (channels::isSound(channel)) {
        if (!event.continues && !silenced(channel)) {
            startSound(event.value, handledAt_, fullLane(event.channel));
        }
    } else if (channels::isPicture(channel)) {
        if (display_.picturesShown) {
            showPicture(event.value, channel == channels::kLayerPicture);
        }
    } else if (channel == channels::kMissPicture) {
        missPicture_ = event.value;
    }
}

void TimedPlaybackEngine::fastForward() {
    seek(1000);
}

void TimedPlaybackEngine::rewind() {
    seek(-1000);
}

void TimedPlaybackEngine::seek(double deltaMs) {
    const std::vector<TimedEvent>& events = chart_.timeline().events;
    if (phase_ == Phase::Loop && playing_) {
        const double now = clock_.nowMs();
        const double from = elapsedMs(now, startMs_);
        for (; next_ < events.size() && events[next_].timeMs <= from; ++next_) {
            handle(events[next_], from - events[next_].timeMs);
        }
        placeAt(std::max(from + deltaMs, std::min(from, 0.0)), now, deltaMs > 0 ? next_ : 0);
        restorePictures();
    }
    host_.wake();
}

void TimedPlaybackEngine::seekTo(double chartMs) {
    if (!std::isnan(chartMs) && takeSeek()) {
        jumpTo(std::clamp(chartMs, 0.0, kFarMs), clock_.nowMs());
    }
    host_.wake();
}

void TimedPlaybackEngine::setLoop(double aMs, double bMs) {
    if (aMs >= 0 && bMs - aMs >= kShortestLoopMs && bMs <= kFarMs) {
        loop_ = Loop{aMs, bMs};
    } else {
        loop_.reset();
    }
}

void TimedPlaybackEngine::jumpTo(double chartMs, double atMs) {
    placeAt(chartMs, atMs, 0);
    resumeRingingSounds(chartMs, atMs);
    restorePictures();
}

void TimedPlaybackEngine::placeAt(double chartMs, double atMs, std::size_t from) {
    const std::vector<TimedEvent>& events = chart_.timeline().events;
    startMs_ = wrapClock(atMs - chartMs);
    handledAt_ = atMs;
    next_ = static_cast<std::size_t>(
        std::partition_point(events.begin() + static_cast<std::ptrdiff_t>(from), events.end(),
                             [chartMs](const TimedEvent& e) { return e.timeMs < chartMs; }) -
        events.begin());
}

double TimedPlaybackEngine::positionMs() {
    if (paused_) {
        return pausedAtMs_;
    }
    return phase_ == Phase::Idle ? 0 : elapsedMs(clock_.nowMs(), startMs_);
}

void TimedPlaybackEngine::resumeRingingSounds(double chartMs, double nowMs) {
    const std::vector<TimedEvent>& events = chart_.timeline().events;
    std::vector<LastStart> last(media_.sounds.size());
    for (std::size_t i = 0; i < next_; ++i) {
        const TimedEvent& e = events[i];
        if (channels::isSound(e.channel) && !e.continues && !silenced(e.channel) && e.value >= 0 &&
            static_cast<std::size_t>(e.value) < last.size() && std::isfinite(e.timeMs)) {
            last[static_cast<std::size_t>(e.value)] = {e.timeMs, fullLane(e.channel)};
        }
    }
    resumeRinging(last, chartMs, nowMs);
}

void TimedPlaybackEngine::picturesTurnedOn() {
    if (phase_ == Phase::Loop && playing_) {
        restorePictures();
        host_.wake();
    }
}

void TimedPlaybackEngine::restorePictures() {
    // The latest base, layer and Miss choice before the position, as a run from the beginning
    // would have left them.
    const TimedEvent* base = nullptr;
    const TimedEvent* layer = nullptr;
    const TimedEvent* miss = nullptr;
    for (std::size_t i = next_; i-- > 0 && !(base && layer && miss);) {
        const TimedEvent& e = chart_.timeline().events[i];
        const TimedEvent** slot = e.channel == channels::kBasePicture    ? &base
                                  : e.channel == channels::kLayerPicture ? &layer
                                  : e.channel == channels::kMissPicture  ? &miss
                                                                         : nullptr;
        if (slot && !*slot) {
            *slot = &e;
        }
    }
    missPicture_ = miss ? miss->value : 0;
    if (display_.picturesShown) {
        // A video plays on from where it would stand: its start is its event's reading.
        const std::pair<const TimedEvent*, bool> surfaces[] = {{base, false}, {layer, true}};
        for (const auto& [e, onLayer] : surfaces) {
            showOnSurface(e ? e->value : 0, onLayer,
                          e ? wrapClock(startMs_ + e->timeMs) : startMs_);
        }
        compose();
        host_.pictureChanged(display_.compositor.primary(), clock_.nowMs());
    }
}

}  // namespace carvel
