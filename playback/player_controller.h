#pragma once

#include <functional>

#include "media/sound_output.h"
#include "platform/clock.h"
#include "playback/chart_loader.h"
#include "playback/chart_queue.h"
#include "playback/playback_engine.h"
#include "playback/player_view.h"
#include "playback/sound_preview.h"
#include "playback/timed_playback_engine.h"

namespace carvel {

// The player's commands: open a chart, the transport, stepping through the queue of charts, the
// display switches. The player window binds its controls to these and shows what the view is told;
// nothing here knows widgets. A chart plays on the engine of the reading it was read with.
class PlayerController final : private Playback::Host {
  public:
    using Overlay = Playback::Overlay;

    PlayerController(media::SoundOutput& sound, Clock& clock, ChartQueue& queue, PlayerView& view);

    // The window is built after the controller it binds to; it takes over the reports then.
    void setView(PlayerView& view) { view_ = &view; }

    // How the charts opened from now on are read (classic unless told).
    void setReadOptions(const ReadOptions& options) { reading_ = options; }
    const ReadOptions& readOptions() const { return reading_; }

    // Releases the previous chart's sounds, loads path, lists the messages, shows the header
    // fields, then plays.
    void open(const QString& path);

    void play() { active().play(); }
    void stop() { active().stop(); }
    void fastForward() { active().fastForward(); }
    void rewind() { active().rewind(); }
    // Step forward / back through the queue (both wrap around) and open the chart there.
    void next();
    void back();
    // Silences and releases every key sound of the chart (the player is closing).
    void releaseSounds();

    // The display switches hold for both engines.
    void setSkipLateEvents(bool skip);
    bool skipsLateEvents() const { return engine_.skipsLateEvents(); }
    void setPicturesShown(bool shown);
    void setOverlay(Overlay overlay);
    Overlay overlay() const { return engine_.overlay(); }
    // The picture area's size in pixels.
    void setPictureSize(QSize size);

    // One pass of the playback, for the driver.
    Step pass() { return active().pass(); }
    // A run goes on (it has not been stopped or ended).
    bool playing() const { return playback().playing(); }
    // A run is in progress: playing, or letting its last sounds ring out. False once it has ended,
    // and after a load that left nothing to play.
    bool running() const { return playback().running(); }

    const Chart& chart() const { return loaded_.chart; }
    // The path of the chart last opened ("" before the first).
    const QString& chartPath() const { return path_; }
    SoundPreview& preview() { return preview_; }
    // The engine of the loaded chart's reading.
    const Playback& playback() const;
    // The engines of the two readings, for tests.
    const PlaybackEngine& engine() const { return engine_; }

    // The driver's hook: called whenever a pass should run soon.
    void setWakeHandler(std::function<void()> handler) { wake_ = std::move(handler); }
    // Runs instead of next() when a run has completed (it is called during a pass).
    void setCompletionHandler(std::function<void()> handler) { completion_ = std::move(handler); }

  private:
    bool playerVisible() override { return view_->playerVisible(); }
    void closePlayer() override { view_->closePlayer(); }
    void statusChanged(PlayerStatus status) override { view_->statusChanged(status); }
    void pictureChanged(const QImage& primary) override {
        view_->pictureChanged(primary, playback().handledAtMs());
    }
    void runCompleted() override;
    void wake() override;
    Playback& active();

    media::SoundOutput& sound_;
    ChartQueue& queue_;
    PlayerView* view_;
    LoadedChart loaded_;
    QString path_;
    ReadOptions reading_;
    PlaybackEngine engine_;
    TimedPlaybackEngine timed_;
    SoundPreview preview_;
    std::function<void()> wake_;
    std::function<void()> completion_;
};

}  // namespace carvel
