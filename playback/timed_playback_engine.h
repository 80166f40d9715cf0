#pragma once

#include <cstddef>
#include <optional>

#include "chart/chart.h"
#include "playback/playback.h"

namespace carvel {

// The playback of the full reading: each event of the chart's Timeline falls due at the clock
// reading start + its time, and its sound is started for exactly that reading, which the output
// turns into its frame (offline the clock starts at 0, so a sound due at t lands on frame round(t x
// rate / 1000)). A pass handles at most one event. Sounds play on channels 01, 11-19, 21-29 and the
// long-note starts of 51-59 and 61-69, one voice per sound index; pictures on 04 (base) and 07
// (layer); 06 chooses the Miss picture.
class TimedPlaybackEngine final : public Playback {
  public:
    // Wait Off drops the events found more than this late: the output's latency (35 ms) hides a
    // little lateness, and past 50 ms a late note is heard as a note of its own.
    static constexpr double kLateMs = 50;

    // chart and media must outlive the engine; a new load replaces their contents in place.
    TimedPlaybackEngine(const Chart& chart, const ChartMedia& media, media::SoundOutput& sound,
                        Clock& clock, Host& host, DisplayState* display = nullptr);

    void play() override;
    // One second of chart time forward. The events due before the command are handled first; the
    // sounds of the second passed over are not started, and the picture area shows the pictures
    // that stand at the new position.
    void fastForward() override;
    // One second of chart time back, not before the chart's beginning; the events of that second
    // are handled again and the pictures are those that stand at the new position.
    void rewind() override;
    void seekTo(double chartMs) override;
    double positionMs() override;
    // Offline the seam is exact; a real-time output stops the sounds of the round that ends and
    // starts those of the next at the same frame.
    void setLoop(double aMs, double bMs) override;
    void clearLoop() override { loop_.reset(); }
    double handledAtMs() const override { return handledAt_; }
    void picturesTurnedOn() override;

    // For tests and measurements.
    double startMs() const { return startMs_; }      // the clock reading at chart time 0
    std::size_t nextEvent() const { return next_; }  // 0-based index into the timeline

  private:
    Step loopPass() override;
    // Handles the event, or drops it when Wait is Off and it is found more than kLateMs late.
    void handle(const TimedEvent& event, double lateMs);
    void seek(double deltaMs);
    void restorePictures();
    // Starts, at clock reading nowMs, the sounds that a run from the beginning has ringing at chart
    // time chartMs, each from the frame it has reached there.
    void resumeRingingSounds(double chartMs, double nowMs);
    // Moves the run to chart time chartMs at clock reading atMs.
    void jumpTo(double chartMs, double atMs);
    // Puts chart time chartMs at clock reading atMs, the next event being the first from there on;
    // the events before index `from` lie before chartMs.
    void placeAt(double chartMs, double atMs, std::size_t from);
    struct Loop {
        double aMs;
        double bMs;
    };

    const Chart& chart_;
    double startMs_ = 0;
    std::size_t next_ = 0;
    // The due time of the event handled last; the run's start, or the time of the last FF or Rev.
    double handledAt_ = 0;
    std::optional<Loop> loop_;
};

}  // namespace carvel
