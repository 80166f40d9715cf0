#pragma once

#include <QImage>
#include <array>
#include <cstddef>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

#include "media/sound_output.h"
#include "platform/clock.h"
#include "playback/chart_media.h"
#include "playback/compositor.h"
#include "playback/display_state.h"
#include "playback/playback_step.h"
#include "playback/player_state.h"

namespace carvel {

// The lane mixer's group of a sound channel: 01 the background, the 1P lanes (11-19, and 51-59 in
// the full reading) and the 2P lanes (21-29, 61-69) the keys of each side. The classic reading
// numbers its channels in decimal, the full reading in base 36.
media::Lane classicLane(int channel);
media::Lane fullLane(int channel);

// A run of the loaded chart as a state machine, whatever the reading: the commands, the display
// switches and the phases after the chart's last event (the end of the run, then the wait for the
// last sounds to ring out). How the events fall due is the concern of the two engines built on it,
// PlaybackEngine (the classic event table) and TimedPlaybackEngine (the full reading's times).
class Playback {
  public:
    // A run whose next event lies further ahead than this ends instead of waiting for it, so that
    // a chart with an event hours or years away does not hold up the playlist.
    static constexpr double kLongestWaitMs = 10 * 60 * 1000;

    using Overlay = DisplayState::Overlay;

    // Sound channels whose events start nothing: the key sounds (every sound channel but 01) and
    // the background sounds (01).
    struct Mute {
        bool keys = false;
        bool bgm = false;
    };

    // The player around the playback.
    class Host {
      public:
        virtual ~Host() = default;
        virtual bool playerVisible() { return true; }
        // The window check found the player hidden: the player closes (it stops and hides).
        virtual void closePlayer() {}
        virtual void statusChanged(PlayerStatus /*status*/) {}
        // The picture area's picture, composed for clock reading dueMs.
        virtual void pictureChanged(const QImage& /*primary*/, double /*dueMs*/) {}
        // A run completed: the player moves on to the next chart.
        virtual void runCompleted() {}
        // State changed outside a pass; a pass should run soon.
        virtual void wake() {}
    };

    virtual ~Playback() = default;
    Playback(const Playback&) = delete;
    Playback& operator=(const Playback&) = delete;

    // Starts a new run of the loaded chart from its beginning, taking over from a running one.
    // Does nothing at all when the chart has no events.
    virtual void play() = 0;
    // The run ends at its next pass, as stopped.
    void stop();
    // The run holds where it stands: its sounds stop at the sample they have reached (where the
    // output's latency has them heard) and nothing falls due until resume(), which goes on from
    // the same chart time as a seek there would, the ringing sounds from where they stopped.
    // Outside a run, or once it is letting its last sounds ring out, nothing happens.
    void pause();
    void resume();
    bool paused() const { return paused_; }
    // While the media are still being decoded: an event whose sound or picture is not ready holds
    // the run as pause() does, saying so in the status, until mediaArrived() finds it ready (Wait
    // On); with Wait Off it is dropped as a late event is. A seek, a pause or a stop ends the wait.
    bool waitingForMedia() const { return waitingForMedia_; }
    // The media have changed: a run waiting for them goes on once what it waits for is ready, and
    // a picture shown black (or an overlay left out) because it was still pending is drawn.
    void mediaArrived();
    // A run waiting for media goes on at once, without what it waited for.
    void endMediaWait();
    virtual void fastForward() = 0;
    virtual void rewind() = 0;
    // The run goes on from chart time chartMs (clamped to 0 and above): the sounds started before
    // it that would still ring there start at once from the frame they would have reached (one
    // voice per sound index: a voice's later start cuts its earlier sound), the events from chartMs
    // on fall due from now, and the picture area shows what stands at chartMs. Every other sound
    // stops. Nothing happens outside a run.
    virtual void seekTo(double chartMs) = 0;
    // The chart time now: ms since the chart's start as the run places it (0 outside a run).
    virtual double positionMs() = 0;
    // A section loop, kept across runs: once the chart time reaches bMs, the run goes on from aMs
    // as seekTo would, chart time aMs falling at the clock reading of bMs, so nothing is lost or
    // doubled at the seam. The events at bMs belong to the next round's aMs. A loop needs
    // 0 <= aMs and bMs - aMs >= kShortestLoopMs; anything else clears it.
    static constexpr double kShortestLoopMs = 10;
    virtual void setLoop(double aMs, double bMs) = 0;
    virtual void clearLoop() = 0;
    // Ends a run at once and without a word: the chart it plays has been replaced by one that the
    // other engine plays.
    void abandon();

    // Wait Off: events found late are dropped instead of handled (each engine says how late).
    void setSkipLateEvents(bool skip) { display_.skipLateEvents = skip; }
    bool skipsLateEvents() const { return display_.skipLateEvents; }
    // Picture events change the picture area only while pictures are shown.
    void setPicturesShown(bool shown) { display_.picturesShown = shown; }
    void setOverlay(Overlay overlay) { display_.overlay = overlay; }
    void setMute(Mute mute) { mute_ = mute; }
    Overlay overlay() const { return display_.overlay; }

    // One pass: the phase's work, then the frames of the videos that play. Says when the next
    // event or frame falls due.
    Step pass();
    // The pictures were switched on during a run: the full reading shows what stands now, a
    // playing video included; the classic reading waits for the next picture event.
    virtual void picturesTurnedOn() {}
    // A run is in progress (playing, or letting the last sounds ring out).
    bool running() const { return phase_ != Phase::Idle; }
    // The run goes on; false once stopped or ended.
    bool playing() const { return playing_; }

    Compositor& compositor() { return display_.compositor; }
    // The clock time at which the sounds of the event just handled start (a run's start before
    // its first event): a picture changed by that event belongs to this time.
    virtual double handledAtMs() const = 0;

  protected:
    enum class Phase { Idle, Loop, EndOfRun, TailWait };

    // display: shared with the other reading's engine; nullptr gives the engine one of its own.
    Playback(const ChartMedia& media, media::SoundOutput& sound, Clock& clock, Host& host,
             DisplayState* display);

    // The common part of play(), once the engine has set up its own state.
    void beginRun();
    // A seek may move the run: it goes on, in its events or letting its last sounds ring out.
    // The run then goes back to its events.
    bool takeSeek() {
        if (!playing_ || phase_ == Phase::Idle) {
            return false;
        }
        if (waitingForMedia_) {
            endWait();
            paused_ = false;
        }
        phase_ = Phase::Loop;
        return true;
    }
    // One pass of the loop phase, after the stop and window checks.
    virtual Step loopPass() = 0;
    // Ends the run as completed, saying why, when the next event is aheadMs away and that is too
    // far; nullopt otherwise.
    std::optional<Step> endIfTooFar(double aheadMs);
    // Both hold the run instead while their index is still being decoded (Wait On).
    void startSound(long long index, double dueMs, media::Lane lane);
    // The last start of a voice (by sound index) before a new position: its chart time (NaN when
    // it has none) and its lane.
    struct LastStart {
        double chartMs = std::numeric_limits<double>::quiet_NaN();
        media::Lane lane = media::Lane::Other;
    };
    // Every voice stops where the sounds resumed at clock reading atMs start: each voice of
    // `starts` whose sound still rings at chart time chartMs, from the frame it has reached there.
    void resumeRinging(const std::vector<LastStart>& starts, double chartMs, double atMs);
    // The events of sound channel `channel` start nothing (Mute).
    bool silenced(int channel) const;
    void showPicture(long long index, bool layer);
    // Puts picture index on a surface without composing: a picture, or a video playing from clock
    // reading startMs. Index 0 (or one holding nothing) makes the surface black.
    void showOnSurface(long long index, bool layer, double startMs);
    void compose();

    const ChartMedia& media_;
    media::SoundOutput& sound_;
    Clock& clock_;
    Host& host_;
    std::unique_ptr<DisplayState> ownDisplay_;
    DisplayState& display_;
    Phase phase_ = Phase::Idle;
    bool playing_ = false;
    long long missPicture_ = 0;  // the picture that the Miss overlay shows
    bool paused_ = false;
    double pausedAtMs_ = 0;  // the chart time at which the run holds
    Mute mute_;

  private:
    // Holds the run at the event due at clock reading dueMs until the sound (or picture) index is
    // ready; false with Wait Off, or when the run cannot hold.
    bool holdFor(bool picture, long long index, double dueMs);
    void endWait();
    Step phasePass();
    Step finishTailWait();
    // Shows the videos' frames due by now and brings the wait of step forward to their next frame.
    Step withVideos(Step step);

    // Draws what mediaArrived() finds ready of what was shown while pending.
    void redrawArrived();

    // What each surface (base, layer) was last given, and whether it was still pending then.
    struct Shown {
        long long index = 0;
        double startMs = 0;
        bool pending = false;
    };
    std::array<Shown, 2> shown_{};
    bool overlayPending_ = false;  // the overlay's picture was pending when last composed
    std::size_t tailIndex_ = 0;
    bool waitingForMedia_ = false;
    bool awaitedPicture_ = false;
    long long awaitedIndex_ = 0;
};

}  // namespace carvel
