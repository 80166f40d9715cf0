#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

#include "media/sound_output.h"
#include "platform/clock.h"
#include "playback/chart_loader.h"
#include "playback/chart_queue.h"
#include "playback/load_thread.h"
#include "playback/playback_engine.h"
#include "playback/player_view.h"
#include "playback/sound_preview.h"
#include "playback/start_gate.h"
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

    // Releases the previous chart's sounds and starts loading path, ending a load that runs.
    // Unless told otherwise the load runs on a thread of its own and reports through the event
    // loop (or waitForLoad): once the chart is read it shows the header fields, and it plays as
    // soon as the media of its first moments are decoded (StartGate), the rest being decoded as it
    // plays; the messages are listed when the load ends. Until the run starts the passes wait, and
    // Play, FF and Rev do nothing.
    void open(const QString& path);
    // Synchronous: open() returns once the chart plays (for a player that has nothing else to do).
    void setLoadsInBackground(bool background) { background_ = background; }
    // A background load starts the run before every file is decoded (see open()); off, the run
    // waits for the whole load, as a synchronous one does (for measurements).
    void setPlaysAsDecoded(bool asDecoded) { playAsDecoded_ = asDecoded; }
    // A chart is being loaded to play, and its run has not started yet.
    bool loading() const { return load_.busy() && !started_; }
    // The load of the chart goes on, whether its run has started or not.
    bool decoding() const { return load_.busy(); }
    // Loads with load instead of loadChart (for tests).
    void setChartLoad(LoadThread::ChartLoad load) { chartLoad_ = std::move(load); }
    // Waits up to timeoutMs for the running load to end and plays its chart; false when it is still
    // running. Called on the window thread, for the tests and the tools.
    bool waitForLoad(int timeoutMs) { return load_.wait(timeoutMs); }

    // Plays the loaded chart again; after a load that was stopped, loads it again. A run that
    // holds (pause) goes on instead, as a CD player's Play does.
    void play();
    // The run holds where it stands, its sounds included, until play() or resume() (see
    // Playback::pause).
    void pause();
    void resume();
    // Held by the user; a run that waits for a sound being decoded is not paused.
    bool paused() const { return playback().paused() && !playback().waitingForMedia(); }
    // Stops the run; a load that runs is ended (a run that played as it decoded loads its chart
    // again on Play), and the player says it stopped.
    void stop();
    void fastForward();
    void rewind();
    // The run goes on from chart time chartMs (ms since the chart's start as the run places it),
    // the sounds that would ring there ringing from where they would have got to.
    void seekTo(double chartMs);
    // The run's chart time now; 0 outside a run or while loading.
    double positionMs();
    // The chart time being heard now: positionMs less what the output has still to play. A note
    // drawn at this time is heard as it is drawn.
    double heardPositionMs();

    // A section loop from chart time aMs to bMs, for this chart's runs until cleared or another
    // chart is opened (see TimedPlaybackEngine::setLoop).
    struct Loop {
        double aMs = 0;
        double bMs = 0;
    };
    void setLoop(double aMs, double bMs);
    void clearLoop();
    std::optional<Loop> loop() const { return loop_; }

    // The speed of the performance, rounded to a step of kSpeedStep within Speed's bounds; it
    // holds for the next charts too until set again.
    static constexpr double kSpeedStep = 0.05;
    void setSpeed(media::Speed speed);
    media::Speed speed() const { return sound_.speed(); }

    // The lane mixer: a gain in dB for each lane (-infinity to kMaxGainDb) and a mute switch that
    // silences it without losing its gain. Both apply to the sounds already ringing.
    static constexpr double kMaxGainDb = 6;
    void setLaneGainDb(media::Lane lane, double gainDb);
    double laneGainDb(media::Lane lane) const { return lanes_[index(lane)].gainDb; }
    void setLaneMuted(media::Lane lane, bool muted);
    bool laneMuted(media::Lane lane) const { return lanes_[index(lane)].muted; }

    // Counts the charts that have finished loading: a view of the chart rebuilds when it changes.
    std::uint64_t chartSerial() const { return chartSerial_; }
    // Step forward / back through the queue (both wrap around) and open the chart there.
    void next();
    void back();
    // Silences and releases every key sound of the chart and ends a load (the player is closing).
    void releaseSounds();

    // The display switches hold for both engines.
    void setSkipLateEvents(bool skip);
    bool skipsLateEvents() const { return display_.skipLateEvents; }
    void setPicturesShown(bool shown);
    void setOverlay(Overlay overlay);
    void setMute(Playback::Mute mute);
    Overlay overlay() const { return display_.overlay; }
    // The size in pixels that the picture area's picture is composed at.
    void setPictureSize(QSize size);
    QSize pictureSize() const { return display_.compositor.size(); }

    // One pass of the playback, for the driver; none while a load runs. Once the run is within
    // kPrepareAheadMs of its chart's end, the queue's next chart starts loading whole on a thread
    // of its own, with the sound budget that this chart leaves, so that open() finds it ready; one
    // chart ahead at most, dropped when another chart is opened or its file has changed since.
    static constexpr double kPrepareAheadMs = 10000;
    Step pass();
    // Waits up to timeoutMs for the next chart's preparation to end; false while it runs (tests).
    bool waitForPrepared(int timeoutMs) { return prepare_.wait(timeoutMs); }
    // The path of the chart prepared and ready to play ("" for none).
    QString preparedPath() const;
    // A run goes on (it has not been stopped or ended).
    bool playing() const { return playback().playing(); }
    // A run is in progress: loading to play, playing, or letting its last sounds ring out. False
    // once it has ended, and after a load that left nothing to play.
    bool running() const { return loading() || playback().running(); }

    const Chart& chart() const { return loaded_.chart; }
    const ChartMedia& loadedMedia() const { return loaded_.media; }
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
    // Passes a load's reports on to whichever view is set when they arrive.
    class LoadRelay final : public LoadObserver {
      public:
        explicit LoadRelay(PlayerController& owner) : owner_(owner) {}
        void eventCountChanged(qsizetype count) override { owner_.view_->eventCountChanged(count); }
        void loadStateChanged(LoadState state) override { owner_.view_->loadStateChanged(state); }
        void statusChanged(PlayerStatus status) override { owner_.view_->statusChanged(status); }
        void chartRead(std::shared_ptr<ReadChart> chart) override {
            owner_.chartRead(std::move(chart));
        }
        void mediaReady(MediaItem item) override { owner_.mediaReady(std::move(item)); }

      private:
        PlayerController& owner_;
    };

    struct Prepared {
        QString path;
        ReadOptions reading;
        QByteArray fileStamp;              // the file's size and time of change when its load began
        std::optional<LoadedChart> chart;  // once loaded
    };
    void prepareNext();
    void prepared(LoadedChart&& chart);
    // Opens path from the prepared chart when that is path as it stands now; drops it otherwise.
    bool openPrepared(const QString& path);
    void dropPrepared();

    struct LaneSetting {
        double gainDb = 0;
        bool muted = false;
    };
    static std::size_t index(media::Lane lane) { return static_cast<std::size_t>(lane); }
    void applyLaneGain(media::Lane lane);
    void loaded(LoadedChart&& chart);
    void chartRead(std::shared_ptr<ReadChart> chart);
    void mediaReady(MediaItem item);
    // Starts the run of a chart that plays as it decodes once the gate opens.
    void startWhenReady();
    // Ends a running load without a word; true when there was one.
    bool endLoad();
    bool playerVisible() override { return view_->playerVisible(); }
    void closePlayer() override { view_->closePlayer(); }
    void statusChanged(PlayerStatus status) override { view_->statusChanged(status); }
    void pictureChanged(const QImage& primary, double dueMs) override {
        view_->pictureChanged(primary, dueMs);
    }
    void runCompleted() override;
    void wake() override;
    Playback& active();

    media::SoundOutput& sound_;
    Clock& clock_;
    ChartQueue& queue_;
    PlayerView* view_;
    LoadedChart loaded_;
    QString path_;
    ReadOptions reading_;
    DisplayState display_;  // the switches and the compositor of both engines
    PlaybackEngine engine_;
    TimedPlaybackEngine timed_;
    SoundPreview preview_;
    std::function<void()> wake_;
    std::function<void()> completion_;
    bool background_ = true;
    bool playAsDecoded_ = true;
    LoadThread::ChartLoad chartLoad_ = [](const QString& path, const MediaOptions& options,
                                          LoadObserver* observer, const ReadOptions& reading) {
        return loadChart(path, options, observer, reading);
    };
    bool loadEnded_ = false;  // the last load was ended before it finished
    // The run of the chart last opened has started (or its load ended without one).
    bool started_ = true;
    StartGate gate_;
    std::optional<Loop> loop_;
    std::array<LaneSetting, media::kLaneCount> lanes_{};
    std::uint64_t chartSerial_ = 0;
    double lengthMs_ = 0;        // the loaded chart's length (chartLengthMs)
    bool prepareAsked_ = false;  // the run of this chart has asked for the next one
    std::optional<Prepared> prepared_;
    // What the preparation's load tells the view, kept for when its chart is opened.
    std::vector<LoadReport> prepareLog_;
    LoadRecorder prepareRecorder_;
    LoadRelay relay_{*this};
    // Last: their threads end before anything else goes.
    LoadThread load_;
    LoadThread prepare_;
};

}  // namespace carvel
