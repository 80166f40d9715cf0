#pragma once

#include <QImage>
#include <cstdint>

#include "chart/chart.h"
#include "media/sound_output.h"
#include "platform/clock.h"
#include "playback/chart_media.h"
#include "playback/compositor.h"
#include "playback/playback_step.h"
#include "playback/player_state.h"

namespace carvel {

// The playback of one chart as a state machine. Each pass() does what one turn of a busy playback
// loop would (window check, end check, at most one due event, clock reading, position) and tells
// the driver when the next pass is worth running. Commands between passes act on the run exactly
// as they would between the turns of the loop.
//
// Timing follows the chart's one tempo: position (ticks) = bpm / 240 x 192 x (clock - start) /
// 1000. A bar end moves the start by the time its missing (or extra) ticks take, rounded to a
// whole millisecond; fast forward and rewind move it by a second.
class PlaybackEngine {
  public:
    // What the picture area shows instead of the pictures of the chart.
    enum class Overlay { None, Title, Miss };

    // The player around the engine.
    class Host {
      public:
        virtual ~Host() = default;
        virtual bool playerVisible() { return true; }
        // The window check found the player hidden: the player closes (it stops and hides).
        virtual void closePlayer() {}
        virtual void statusChanged(PlayerStatus /*status*/) {}
        virtual void pictureChanged(const QImage& /*primary*/) {}
        // A run completed: the player moves on to the next chart.
        virtual void runCompleted() {}
        // State changed outside a pass; a pass should run soon.
        virtual void wake() {}
    };

    // chart and media must outlive the engine; a new load replaces their contents in place.
    PlaybackEngine(const Chart& chart, const ChartMedia& media, media::SoundOutput& sound,
                   Clock& clock, Host& host);

    // Starts a new run of the loaded chart from its first event, taking over from a running one.
    // Does nothing at all when the chart has no events.
    void play();
    // The run ends at its next pass, as stopped.
    void stop();
    // A second of chart time forward, passing over the next ten events without effect.
    void fastForward();
    // A second back, bringing up to fifty handled events back (they are handled again).
    void rewind();

    // Wait Off: events found more than 10 ticks late are dropped instead of handled.
    void setSkipLateEvents(bool skip) { skipLate_ = skip; }
    bool skipsLateEvents() const { return skipLate_; }
    // Picture events change the picture area only while pictures are shown.
    void setPicturesShown(bool shown) { picturesShown_ = shown; }
    void setOverlay(Overlay overlay) { overlay_ = overlay; }
    Overlay overlay() const { return overlay_; }

    Step pass();
    // A run is in progress (playing, or letting the last sounds ring out).
    bool running() const { return phase_ != Phase::Idle; }
    // The run goes on; false once stopped or ended.
    bool playing() const { return playing_; }

    Compositor& compositor() { return compositor_; }

    // For tests and measurements.
    double startMs() const { return startMs_; }
    double position() const { return position_; }
    long long nextEvent() const { return nextEvent_; }  // 1-based
    // The clock time at which the sounds of the event just handled start (a run's start before
    // its first event): a picture changed by that event belongs to this time.
    double handledAtMs() const { return handledAt_; }

  private:
    enum class Phase { Idle, Loop, EndOfRun, TailWait };

    void handle(const Event& event, double tick);
    void startSound(long long index, double dueMs);
    void showPicture(long long index, bool layer);
    void compose();
    Step nextStep();
    Step finishTailWait();
    double positionAt(double clockMs) const;
    double dueClock(double tick) const;

    const Chart& chart_;
    const ChartMedia& media_;
    media::SoundOutput& sound_;
    Clock& clock_;
    Host& host_;
    Compositor compositor_;
    Phase phase_ = Phase::Idle;

    bool playing_ = false;
    double startMs_ = 0;       // clock reading of tick 0
    double position_ = -1;     // ticks; -1 until the first reading of a run
    long long nextEvent_ = 1;  // 1-based index into the event table
    bool skipLate_ = false;
    bool picturesShown_ = false;
    Overlay overlay_ = Overlay::None;
    int missPicture_ = 0;  // the picture that the Miss overlay shows
    size_t tailIndex_ = 0;
    // The latest due time among the events handled in this run. A sound starts at the later of its
    // own due time and this: an event that stands after a later one in the table (a bar-length
    // rewrite can do that) sounds when it is reached, exactly as in the offline render, rather
    // than before the events handled ahead of it.
    double handledAt_ = 0;
};

}  // namespace carvel
