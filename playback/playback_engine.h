#pragma once

#include <optional>

#include "chart/chart.h"
#include "playback/playback.h"

namespace carvel {

// The playback of the classic reading's event table. Each pass() does what one turn of a busy
// playback loop would (window check, end check, at most one due event, clock reading, position) and
// tells the driver when the next pass is worth running. Commands between passes act on the run
// exactly as they would between the turns of the loop.
//
// Timing follows the chart's one tempo: position (ticks) = bpm / 240 x 192 x (clock - start) /
// 1000. A bar end moves the start by the time its missing (or extra) ticks take, rounded to a
// whole millisecond; fast forward and rewind move it by a second. Wait Off drops the events found
// more than 10 ticks late.
class PlaybackEngine final : public Playback {
  public:
    // chart and media must outlive the engine; a new load replaces their contents in place.
    PlaybackEngine(const Chart& chart, const ChartMedia& media, media::SoundOutput& sound,
                   Clock& clock, Host& host, DisplayState* display = nullptr);

    // Starts a new run of the loaded chart from its first event, taking over from a running one.
    // Does nothing at all when the chart has no events.
    void play() override;
    // A second of chart time forward, passing over the next ten events without effect.
    void fastForward() override;
    // A second back, bringing up to fifty handled events back (they are handled again).
    void rewind() override;
    void seekTo(double chartMs) override;
    double positionMs() override;
    void setLoop(double aMs, double bMs) override;
    void clearLoop() override { loop_.reset(); }

    // For tests and measurements.
    double startMs() const { return startMs_; }
    double position() const { return position_; }
    long long nextEvent() const { return nextEvent_; }  // 1-based

    double handledAtMs() const override { return handledAt_; }

  private:
    Step loopPass() override;
    void handle(const Event& event, double tick);
    Step nextStep();
    // The run has reached the loop's end: it goes on from the loop's start at the end's reading.
    Step loopSeam();
    // Moves the run to chart time chartMs at clock reading atMs (see seekTo).
    void jumpTo(double chartMs, double atMs);
    double positionAt(double clockMs) const;
    double dueClock(double tick) const;

    const Chart& chart_;
    double startMs_ = 0;       // clock reading of tick 0
    double position_ = -1;     // ticks; -1 until the first reading of a run
    long long nextEvent_ = 1;  // 1-based index into the event table
    // The latest due time among the events handled in this run. A sound starts at the later of its
    // own due time and this: an event that stands after a later one in the table (a bar-length
    // rewrite can do that) sounds when it is reached, exactly as in the offline render, rather
    // than before the events handled ahead of it.
    double handledAt_ = 0;
    struct Loop {
        double aMs;
        double bMs;
    };
    std::optional<Loop> loop_;
};

}  // namespace carvel
