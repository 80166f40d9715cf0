#include "playback/player_controller.h"

#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <unordered_set>

#include "playback/display_texts.h"

namespace carvel {

PlayerController::PlayerController(media::SoundOutput& sound, Clock& clock, ChartQueue& queue,
                                   PlayerView& view)
    : sound_(sound),
      clock_(clock),
      queue_(queue),
      view_(&view),
      engine_(loaded_.chart, loaded_.media, sound, clock, *this, &display_),
      timed_(loaded_.chart, loaded_.media, sound, clock, *this, &display_),
      preview_(loaded_.media, sound, clock),
      prepareRecorder_([this](LoadReport report) {
          // The chart and its media come with the result.
          if (report.kind != LoadReport::Kind::ChartRead &&
              report.kind != LoadReport::Kind::Media) {
              prepareLog_.push_back(std::move(report));
          }
      }),
      load_(relay_, [this](LoadedChart&& chart) { loaded(std::move(chart)); }),
      prepare_(prepareRecorder_, [this](LoadedChart&& chart) { prepared(std::move(chart)); }) {}

namespace {

// Tells whether a chart file is still the one a preparation read.
QByteArray fileStamp(const QString& path) {
    const QFileInfo info(path);
    return QByteArray::number(info.size()) + ' ' +
           QByteArray::number(info.lastModified().toMSecsSinceEpoch());
}

std::size_t heldSoundBytes(const ChartMedia& media) {
    std::unordered_set<const media::Sound*> seen;
    std::size_t bytes = 0;
    for (const media::SoundPtr& sound : media.sounds) {
        if (sound && seen.insert(sound.get()).second) {
            bytes += media::heldBytes(*sound);
        }
    }
    return bytes;
}

}  // namespace

Step PlayerController::pass() {
    if (loading()) {
        return {};
    }
    const Step step = active().pass();
    prepareNext();
    return step;
}

void PlayerController::prepareNext() {
    if (prepareAsked_ || !background_ || decoding() || !playback().running() ||
        positionMs() < lengthMs_ - kPrepareAheadMs) {
        return;
    }
    prepareAsked_ = true;
    const std::optional<QString> next = queue_.peekForward();
    if (!next ||
        (prepared_ && prepared_->path == *next && prepared_->reading.mode == reading_.mode)) {
        return;
    }
    dropPrepared();
    MediaOptions options;
    options.sampleRate = sound_.sampleRate();
    const std::size_t held = heldSoundBytes(loaded_.media);
    options.soundBudgetBytes =
        held < options.soundBudgetBytes ? options.soundBudgetBytes - held : 0;
    options.threads = 1;  // the other core keeps to the chart that plays
    prepared_ = Prepared{*next, reading_, fileStamp(*next), std::nullopt};
    prepare_.start(chartLoad_, *next, options, reading_);
}

void PlayerController::prepared(LoadedChart&& chart) {
    if (!prepared_) {
        return;
    }
    // Refused for the budget that the playing chart left: a load of its own will have it whole.
    const bool cramped =
        std::any_of(chart.messages.begin(), chart.messages.end(), [](const LoadMessage& m) {
            return m.kind == LoadMessage::Kind::SoundOverBudget ||
                   m.kind == LoadMessage::Kind::PictureOverBudget ||
                   m.kind == LoadMessage::Kind::StageOverBudget;
        });
    if (cramped) {
        dropPrepared();
        return;
    }
    prepared_->chart = std::move(chart);
}

bool PlayerController::openPrepared(const QString& path) {
    const bool usable = prepared_ && prepared_->chart && prepared_->path == path &&
                        prepared_->reading.mode == reading_.mode &&
                        prepared_->reading.seed == reading_.seed &&
                        prepared_->fileStamp == fileStamp(path);
    if (!usable) {
        dropPrepared();
        return false;
    }
    LoadedChart chart = std::move(*prepared_->chart);
    for (LoadReport& report : prepareLog_) {
        std::move(report).tellTo(*view_);
    }
    dropPrepared();
    loaded(std::move(chart));
    return true;
}

void PlayerController::dropPrepared() {
    prepare_.cancel();
    prepared_.reset();
    prepareLog_.clear();
}

QString PlayerController::preparedPath() const {
    return prepared_ && prepared_->chart ? prepared_->path : QString();
}

void PlayerController::open(const QString& path) {
    load_.cancel();
    loadEnded_ = false;
    // The previous chart's sounds go first, silenced, before anything of the next is read.
    sound_.stopAll();
    display_.videos.stopAll();
    loaded_ = LoadedChart();
    path_ = path;
    clearLoop();
    view_->messagesChanged({});
    prepareAsked_ = false;
    if (background_ && openPrepared(path)) {
        return;
    }
    MediaOptions options;
    options.sampleRate = sound_.sampleRate();
    started_ = false;
    if (background_) {
        options.playAsDecoded = playAsDecoded_;
        load_.start(chartLoad_, path, options, reading_);
    } else {
        loaded(chartLoad_(path, options, view_, reading_));
    }
}

void PlayerController::chartRead(std::shared_ptr<ReadChart> read) {
    loaded_.chart = std::move(read->chart);
    loaded_.media = std::move(read->media);
    loaded_.found = true;
    ++chartSerial_;
    view_->informationChanged(informationText(loaded_.chart));
    if (loaded_.chart.mode() == ReadingMode::Full) {
        engine_.abandon();
    } else {
        timed_.abandon();
    }
    lengthMs_ = chartLengthMs(loaded_.chart);
    gate_ = StartGate(std::move(read->firstUses), lengthMs_, loaded_.media, clock_.nowMs());
    startWhenReady();
}

void PlayerController::mediaReady(MediaItem item) {
    place(loaded_.media, std::move(item));
    if (started_) {
        active().mediaArrived();
    } else {
        startWhenReady();
    }
}

void PlayerController::startWhenReady() {
    if (!started_ && gate_.ready(loaded_.media, clock_.nowMs())) {
        started_ = true;
        active().play();
        wake();
    }
}

void PlayerController::loaded(LoadedChart&& chart) {
    if (chart.handedOver) {
        // The tables are whole already: every index was handed over.
        loaded_.messages = std::move(chart.messages);
        view_->messagesChanged(loaded_.messages);
        if (started_) {
            active().mediaArrived();
        } else {
            started_ = true;
            active().play();
        }
        wake();
        return;
    }
    started_ = true;
    loaded_ = std::move(chart);
    lengthMs_ = chartLengthMs(loaded_.chart);
    ++chartSerial_;
    view_->messagesChanged(loaded_.messages);
    view_->informationChanged(informationText(loaded_.chart));
    // The engine of the other reading lets go of the previous chart's run.
    if (loaded_.chart.mode() == ReadingMode::Full) {
        engine_.abandon();
    } else {
        timed_.abandon();
    }
    active().play();
    if (!loaded_.chart.hasEvents()) {
        // Nothing plays: the previous chart's picture goes, as its run has.
        display_.compositor.clear();
        view_->pictureChanged(display_.compositor.primary(), clock_.nowMs());
    }
    // A run that the new chart did not take over resumes its passes, which waited for the load.
    wake();
}

bool PlayerController::endLoad() {
    if (!decoding()) {
        return false;
    }
    const bool beforeRun = loading();
    load_.cancel();
    started_ = true;
    loadEnded_ = true;
    if (beforeRun) {
        engine_.abandon();
        timed_.abandon();
    } else {
        // The run plays on with what has been decoded; nothing more is to come.
        loaded_.media.pendingSounds.clear();
        loaded_.media.pendingPictures.clear();
        loaded_.media.stagePending = false;
        active().mediaArrived();
    }
    return beforeRun;
}

void PlayerController::play() {
    if (loading()) {
        return;
    }
    if (loadEnded_) {
        open(path_);
        return;
    }
    if (active().paused() && !active().waitingForMedia()) {
        active().resume();
        return;
    }
    active().play();
}

void PlayerController::pause() {
    if (!loading()) {
        active().pause();
    }
}

void PlayerController::resume() {
    if (!loading()) {
        active().resume();
    }
}

void PlayerController::stop() {
    if (loading()) {
        endLoad();
        view_->eventCountChanged(0);
        view_->loadStateChanged(LoadState::Waiting);
        view_->statusChanged(PlayerStatus::Stopped);
        return;
    }
    // Stopped first, so that a run waiting for a sound ends instead of going on without it.
    active().stop();
    if (decoding()) {
        endLoad();
        view_->loadStateChanged(LoadState::Waiting);
    }
}

void PlayerController::fastForward() {
    if (playback().waitingForMedia()) {
        seekTo(positionMs() + 1000);  // the clock has run on while the run waited
    } else if (!loading()) {
        active().fastForward();
    }
}

void PlayerController::seekTo(double chartMs) {
    if (!loading()) {
        active().seekTo(chartMs);
    }
}

double PlayerController::positionMs() {
    return loading() ? 0 : active().positionMs();
}

double PlayerController::heardPositionMs() {
    if (loading() || !playback().running()) {
        return positionMs();
    }
    return std::max(0.0, positionMs() - sound_.heardDelayMs());
}

void PlayerController::setLoop(double aMs, double bMs) {
    loop_ = Loop{std::min(aMs, bMs), std::max(aMs, bMs)};
    engine_.setLoop(loop_->aMs, loop_->bMs);
    timed_.setLoop(loop_->aMs, loop_->bMs);
    wake();
}

void PlayerController::clearLoop() {
    loop_.reset();
    engine_.clearLoop();
    timed_.clearLoop();
}

void PlayerController::setSpeed(media::Speed speed) {
    const double steps = std::round(speed.speed / kSpeedStep);
    speed.speed = std::clamp(steps * kSpeedStep, media::Speed::kSlowest, media::Speed::kFastest);
    if (!std::isfinite(speed.speed)) {
        speed.speed = 1;
    }
    sound_.setSpeed(speed);
    wake();
}

void PlayerController::setLaneGainDb(media::Lane lane, double gainDb) {
    lanes_[index(lane)].gainDb = std::isnan(gainDb) ? 0 : std::min(gainDb, kMaxGainDb);
    applyLaneGain(lane);
}

void PlayerController::setLaneMuted(media::Lane lane, bool muted) {
    lanes_[index(lane)].muted = muted;
    applyLaneGain(lane);
}

void PlayerController::applyLaneGain(media::Lane lane) {
    const LaneSetting& setting = lanes_[index(lane)];
    const double gain = setting.muted ? 0 : std::pow(10.0, setting.gainDb / 20.0);
    sound_.setLaneGain(lane, static_cast<float>(gain));
}

void PlayerController::setMute(Playback::Mute mute) {
    engine_.setMute(mute);
    timed_.setMute(mute);
}

void PlayerController::rewind() {
    if (playback().waitingForMedia()) {
        seekTo(positionMs() - 1000);
    } else if (!loading()) {
        active().rewind();
    }
}

const Playback& PlayerController::playback() const {
    if (loaded_.chart.mode() == ReadingMode::Full) {
        return timed_;
    }
    return engine_;
}

Playback& PlayerController::active() {
    if (loaded_.chart.mode() == ReadingMode::Full) {
        return timed_;
    }
    return engine_;
}

void PlayerController::setSkipLateEvents(bool skip) {
    display_.skipLateEvents = skip;
    if (skip && !loading()) {
        active().endMediaWait();  // what it waits for is now dropped
    }
}

void PlayerController::setPicturesShown(bool shown) {
    const bool turnedOn = shown && !display_.picturesShown;
    display_.picturesShown = shown;
    if (turnedOn && !loading()) {
        active().picturesTurnedOn();
    }
}

void PlayerController::setOverlay(Overlay overlay) {
    display_.overlay = overlay;
}

void PlayerController::setPictureSize(QSize size) {
    display_.compositor.resize(size);
    display_.videos.setSize(display_.compositor.size());
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
    endLoad();
    dropPrepared();
    sound_.stopAll();
    display_.videos.stopAll();
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
