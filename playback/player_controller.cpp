#include "playback/player_controller.h"

namespace carvel {

PlayerController::PlayerController(media::SoundOutput& sound, Clock& clock, ChartQueue& queue,
                                   PlayerView& view)
    : sound_(sound),
      queue_(queue),
      view_(&view),
      engine_(loaded_.chart, loaded_.media, sound, clock, *this),
      timed_(loaded_.chart, loaded_.media, sound, clock, *this),
      preview_(loaded_.media, sound, clock) {}

void PlayerController::open(const QString& path) {
    // The previous chart's sounds go first, silenced, before anything of the next is read.
    sound_.stopAll();
    loaded_ = LoadedChart();
    path_ = path;
    view_->messagesChanged({});
    MediaOptions options;
    options.sampleRate = sound_.sampleRate();
    loaded_ = loadChart(path, options, view_, reading_);
    view_->messagesChanged(loaded_.messages);
    view_->informationChanged(informationText(loaded_.chart));
    // The engine of the other reading lets go of the previous chart's run.
    if (loaded_.chart.mode == ReadingMode::Full) {
        engine_.abandon();
    } else {
        timed_.abandon();
    }
    active().play();
}

const Playback& PlayerController::playback() const {
    if (loaded_.chart.mode == ReadingMode::Full) {
        return timed_;
    }
    return engine_;
}

Playback& PlayerController::active() {
    if (loaded_.chart.mode == ReadingMode::Full) {
        return timed_;
    }
    return engine_;
}

void PlayerController::setSkipLateEvents(bool skip) {
    engine_.setSkipLateEvents(skip);
    timed_.setSkipLateEvents(skip);
}

void PlayerController::setPicturesShown(bool shown) {
    engine_.setPicturesShown(shown);
    timed_.setPicturesShown(shown);
}

void PlayerController::setOverlay(Overlay overlay) {
    engine_.setOverlay(overlay);
    timed_.setOverlay(overlay);
}

void PlayerController::setPictureSize(QSize size) {
    engine_.compositor().resize(size);
    timed_.compositor().resize(size);
}

void PlayerController::next() {
    if (const std::optional<QString> path = queue_.stepForward()) {
        open(*path);
    }
}

void PlayerController::back() {
    if (const std::optional<QString> path = queue_.stepBack()) {
        open(*path);
    }
}

void PlayerController::releaseSounds() {
    sound_.stopAll();
    loaded_.media.sounds.clear();
}

void PlayerController::runCompleted() {
    if (completion_) {
        completion_();
    } else {
        next();
    }
}

void PlayerController::wake() {
    if (wake_) {
        wake_();
    }
}

}  // namespace carvel
