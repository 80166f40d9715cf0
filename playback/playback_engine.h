#pragma once

#include <QImage>
#include <QString>
#include <cstdint>

#include "chart/chart_state.h"
#include "media/sound_output.h"
#include "platform/clock.h"
#include "playback/compositor.h"

namespace carvel {

// The playback of one chart as a state machine. Each call of pass() does what one turn of a busy
// playback loop would (window check, end check, at most one due event, clock reading, position) and
// tells the driver when the next pass is worth running; between passes the user's commands act on
// the instance variables below, exactly as they would between the turns of the loop.
class PlaybackEngine {
  public:
    static constexpr std::uint32_t kWaitOn = 0x1000000;
    static constexpr std::uint32_t kWaitOff = 0x8000000;

    // The player around the engine.
    class Host {
      public:
        virtual ~Host() = default;
        virtual bool playerVisible() { return true; }
        // The window check found the player hidden: the player closes (it stops and hides).
        virtual void closePlayer() {}
        virtual void statusChanged(const QString& /*text*/) {}
        virtual void pictureChanged(const QImage& /*primary*/) {}
        // A run completed: the player moves on to the next chart.
        virtual void runCompleted() {}
        // State changed outside a pass; a pass should run soon.
        virtual void wake() {}
    };

    struct Step {
        enum class Kind { Again, WaitUntil, Idle };
        Kind kind = Kind::Idle;
        double untilMs = 0;  // clock reading, for WaitUntil
    };

    PlaybackEngine(ChartState& chart, media::SoundOutput& sound, Clock& clock, Host& host);

    // Play: starts a new run of the loaded chart from its first event, taking over from a running
    // one. Does nothing at all when the chart has no events.
    void cmdPlay_Click();
    void cmdStop_Click();
    void cmdFF_Click();
    void cmdRev_Click();

    Step pass();
    bool running() const { return phase_ != Phase::Idle; }

    Compositor& compositor() { return compositor_; }

    // Instance variables shared with the player's handlers.
    bool blnPlaying = false;
    double lngStartTime = 0;  // clock reading of tick 0
    double lngNowTime = 0;
    double dblPosition = -1;      // ticks
    long long lngEventIndex = 1;  // 1-based, into colEvents
    std::uint32_t lngBltFlags = kWaitOn;
    bool chkImage = false;  // pictures are updated only while checked

  private:
    enum class Phase { Idle, Loop, EndOfRun, TailWait };

    void handle(const std::string& event, double position);
    void startSound(long long index, double dueMs);
    void loadPicture(long long index, bool layer);
    Step nextStep();
    Step finishTailWait();
    double positionAt(double clockMs) const;
    double dueClock(double position) const;

    ChartState& chart_;
    media::SoundOutput& sound_;
    Clock& clock_;
    Host& host_;
    Compositor compositor_;
    Phase phase_ = Phase::Idle;
    size_t tailIndex_ = 0;
    // The latest due time among the events handled in this run. A sound starts at the later of its
    // own due time and this: an event that stands after a later one in the table (a bar-length
    // rewrite can do that) sounds when it is reached, exactly as in the offline render, rather
    // than before the events handled ahead of it.
    double handledAt_ = 0;
};

// The number in the first six characters of an event text (its position in ticks).
double eventPosition(const std::string& event);

}  // namespace carvel
