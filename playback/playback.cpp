#include "playback/playback.h"

#include <algorithm>
#include <cmath>

#include "chart/channels.h"

namespace carvel {

Playback::Playback(const ChartMedia& media, media::SoundOutput& sound, Clock& clock, Host& host,
                   DisplayState* display)
    : media_(media),
      sound_(sound),
      clock_(clock),
      host_(host),
      ownDisplay_(display == nullptr ? std::make_unique<DisplayState>() : nullptr),
      display_(display == nullptr ? *ownDisplay_ : *display) {}

void Playback::beginRun() {
    missPicture_ = 0;
    shown_ = {};
    overlayPending_ = false;
    paused_ = false;
    waitingForMedia_ = false;
    playing_ = true;
    display_.videos.stopAll();
    display_.compositor.clear();
    host_.pictureChanged(display_.compositor.primary(), handledAtMs());
    host_.statusChanged(PlayerStatus::Playing);
    phase_ = Phase::Loop;
    host_.wake();
}

void Playback::stop() {
    playing_ = false;
    host_.wake();
}

void Playback::pause() {
    if (waitingForMedia_) {
        endWait();  // the user's pause takes over: only Play goes on
        return;
    }
    if (!playing_ || phase_ != Phase::Loop || paused_) {
        return;
    }
    pausedAtMs_ = positionMs();
    paused_ = true;
    sound_.stopAllAt(clock_.nowMs());
    host_.wake();
}

void Playback::resume() {
    if (!paused_) {
        return;
    }
    paused_ = false;
    seekTo(pausedAtMs_);
}

void Playback::mediaArrived() {
    redrawArrived();
    if (!waitingForMedia_) {
        return;
    }
    const bool pending =
        awaitedPicture_ ? media_.picturePending(awaitedIndex_) : media_.soundPending(awaitedIndex_);
    if (!pending) {
        endWait();
        resume();
    }
}

void Playback::endMediaWait() {
    if (waitingForMedia_) {
        endWait();
        resume();
    }
}

bool Playback::holdFor(bool picture, long long index, double dueMs) {
    if (display_.skipLateEvents || paused_ || !playing_ || phase_ != Phase::Loop) {
        return false;
    }
    pause();
    // The run goes on from the held event's own time, so that it and the events found late with
    // it are handled again, each holding in turn while its index is still pending.
    pausedAtMs_ = std::max(0.0, pausedAtMs_ - std::max(0.0, elapsedMs(clock_.nowMs(), dueMs)));
    waitingForMedia_ = true;
    awaitedPicture_ = picture;
    awaitedIndex_ = index;
    host_.statusChanged(PlayerStatus::LoadingMedia);
    return true;
}

void Playback::endWait() {
    waitingForMedia_ = false;
    if (playing_) {
        host_.statusChanged(PlayerStatus::Playing);
    }
}

void Playback::abandon() {
    playing_ = false;
    paused_ = false;
    waitingForMedia_ = false;
    phase_ = Phase::Idle;
    display_.videos.stopAll();
}

Step Playback::pass() {
    return withVideos(phasePass());
}

Step Playback::withVideos(Step step) {
    VideoLayers& videos = display_.videos;
    if (!videos.active()) {
        return step;
    }
    if (phase_ == Phase::Idle || !display_.picturesShown) {
        videos.stopAll();
        return step;
    }
    if (paused_) {
        return step;  // the frames shown stay; resuming shows where the videos stand
    }
    const double now = clock_.nowMs();
    if (videos.showFrames(now, display_.compositor)) {
        compose();
        host_.pictureChanged(display_.compositor.primary(), now);
    }
    const std::optional<double> next = videos.nextChangeMs(now);
    if (!next || step.kind == Step::Kind::Again) {
        return step;
    }
    if (step.kind == Step::Kind::Idle || elapsedMs(*next, step.untilMs) < 0) {
        return {Step::Kind::WaitUntil, *next};
    }
    return step;
}

Step Playback::phasePass() {
    if (paused_) {
        if (playing_) {
            return {};
        }
        paused_ = false;  // stopped while it held: the run ends as stopped
        waitingForMedia_ = false;
    }
    switch (phase_) {
        case Phase::Idle:
            return {};
        case Phase::Loop:
            if (!playing_) {
                phase_ = Phase::EndOfRun;
                return {Step::Kind::Again};
            }
            if (!host_.playerVisible()) {
                playing_ = false;
                host_.closePlayer();
            }
            return loopPass();
        case Phase::EndOfRun:
            if (!playing_) {
                phase_ = Phase::Idle;
                host_.statusChanged(PlayerStatus::Stopped);
                return {};
            }
            phase_ = Phase::TailWait;
            tailIndex_ = 0;
            return {Step::Kind::Again};
        case Phase::TailWait:
            return finishTailWait();
    }
    return {};
}

Step Playback::finishTailWait() {
    while (playing_ && tailIndex_ < media_.sounds.size()) {
        const int voice = static_cast<int>(tailIndex_);
        if (media_.sounds[tailIndex_] && sound_.isPlaying(voice)) {
            return {Step::Kind::WaitUntil, sound_.silentAtMs(voice)};
        }
        ++tailIndex_;
    }
    phase_ = Phase::Idle;
    host_.statusChanged(PlayerStatus::Completed);
    host_.runCompleted();
    return running() ? Step{Step::Kind::Again} : Step{};
}

std::optional<Step> Playback::endIfTooFar(double aheadMs) {
    if (aheadMs <= kLongestWaitMs) {
        return std::nullopt;
    }
    host_.statusChanged(PlayerStatus::NothingForLong);
    phase_ = Phase::EndOfRun;
    return Step{Step::Kind::Again};
}

media::Lane classicLane(int channel) {
    if (channel == channels::kBgm) {
        return media::Lane::Background;
    }
    return channel / 10 == 2 ? media::Lane::Keys2P : media::Lane::Keys1P;
}

media::Lane fullLane(int channel) {
    if (channel == channels::kBgm) {
        return media::Lane::Background;
    }
    const bool second =
        channels::inRange(channel, '2', '1', '9') || channels::inRange(channel, '6', '1', '9');
    return second ? media::Lane::Keys2P : media::Lane::Keys1P;
}

void Playback::startSound(long long index, double dueMs, media::Lane lane) {
    if (media_.soundPending(index)) {
        holdFor(false, index, dueMs);
        return;
    }
    if (media::SoundPtr sound = media_.sound(index)) {
        sound_.play(static_cast<int>(index), std::move(sound), dueMs, 0, lane);
    }
}

void Playback::resumeRinging(const std::vector<LastStart>& starts, double chartMs, double atMs) {
    sound_.stopAllAt(atMs);
    // Frames as the outputs place a start: a half rounds up.
    const double rate = sound_.sampleRate();
    const auto frameAt = [rate](double ms) { return std::floor(ms * rate / 1000.0 + 0.5); };
    const double reached = frameAt(chartMs);
    for (std::size_t index = 0; index < starts.size(); ++index) {
        if (std::isnan(starts[index].chartMs)) {
            continue;
        }
        media::SoundPtr sound = media_.sound(static_cast<long long>(index));
        const double offset = reached - frameAt(starts[index].chartMs);
        if (sound && offset < static_cast<double>(sound->frames())) {
            sound_.play(static_cast<int>(index), std::move(sound), atMs,
                        static_cast<std::int64_t>(offset), starts[index].lane);
        }
    }
}

bool Playback::silenced(int channel) const {
    return channel == channels::kBgm ? mute_.bgm : mute_.keys;
}

void Playback::showPicture(long long index, bool layer) {
    if (media_.picturePending(index)) {
        holdFor(true, index, handledAtMs());
        return;
    }
    showOnSurface(index, layer, handledAtMs());
    compose();
    host_.pictureChanged(display_.compositor.primary(), handledAtMs());
}

void Playback::redrawArrived() {
    if (!playing_ || phase_ == Phase::Idle || !display_.picturesShown) {
        return;
    }
    bool changed = false;
    for (size_t surface = 0; surface < shown_.size(); ++surface) {
        const Shown shown = shown_[surface];
        if (shown.pending && !media_.picturePending(shown.index)) {
            showOnSurface(shown.index, surface == 1, shown.startMs);
            changed = true;
        }
    }
    if (changed || overlayPending_) {
        compose();  // which finds whether the overlay is still pending
        changed = changed || !overlayPending_;
    }
    if (changed) {
        host_.pictureChanged(display_.compositor.primary(), clock_.nowMs());
    }
}

void Playback::showOnSurface(long long index, bool layer, double startMs) {
    shown_[layer ? 1 : 0] = {index, startMs, media_.picturePending(index)};
    if (const VideoClipPtr clip = media_.video(index)) {
        display_.videos.play(layer, clip, startMs, clock_.nowMs());
        display_.videos.showFrames(clock_.nowMs(), display_.compositor);
    } else {
        display_.videos.stop(layer);
        display_.compositor.setPicture(media_.picture(index), layer);
    }
}

void Playback::compose() {
    media::PicturePtr overlay;
    overlayPending_ = false;
    if (display_.overlay == Overlay::Title) {
        overlay = media_.stage;
        overlayPending_ = media_.stagePending;
    } else if (display_.overlay == Overlay::Miss) {
        overlay = media_.picture(missPicture_);
        overlayPending_ = media_.picturePending(missPicture_);
    }
    display_.compositor.compose(overlay);
}

}  // namespace carvel
