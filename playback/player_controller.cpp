#include "playback/player_controller.h"

namespace carvel {

PlayerController::PlayerController(ChartState& chart, Playlist& playlist, media::SoundOutput& sound,
                                   Clock& clock, PlayerView& view)
    : chart_(chart),
      playlist_(playlist),
      sound_(sound),
      view_(&view),
      engine_(chart, sound, clock, *this),
      preview_(chart, sound, clock) {}

void PlayerController::FileLoad(const QString& path) {
    // Releasing the previous chart's sounds silences them.
    sound_.stopAll();
    view_->messagesChanged({});
    QStringList messages;
    LoadOptions options;
    options.sampleRate = sound_.sampleRate();
    OpenChart(path, messages, chart_, view_, options);
    view_->messagesChanged(messages);
    view_->informationChanged(chartInformationText(chart_));
    engine_.cmdPlay_Click();
}

void PlayerController::toNext() {
    if (playlist_.isEmpty()) {
        return;
    }
    const qsizetype current = playlist_.current();
    playlist_.setCurrent(current == playlist_.count() - 1 ? 0 : current + 1);
    FileLoad(playlist_.at(playlist_.current()).path);
}

void PlayerController::Backto() {
    if (playlist_.isEmpty()) {
        return;
    }
    // With entries but none current, Back starts from the last entry.
    const qsizetype current = playlist_.current();
    playlist_.setCurrent(current <= 0 ? playlist_.count() - 1 : current - 1);
    FileLoad(playlist_.at(playlist_.current()).path);
}

void PlayerController::Reset() {
    sound_.stopAll();
    for (media::SoundPtr& sound : chart_.dsbWav) {
        sound.reset();
    }
}

void PlayerController::runCompleted() {
    if (completion_) {
        completion_();
    } else {
        toNext();
    }
}

void PlayerController::wake() {
    if (wake_) {
        wake_();
    }
}

}  // namespace carvel
