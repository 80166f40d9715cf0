#pragma once

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <array>
#include <map>
#include <vector>

#include "media/sound_output.h"
#include "platform/clock.h"
#include "playback/chart_queue.h"
#include "playback/playback_engine.h"
#include "playback/player_controller.h"

namespace carvel::testing {

class FakeClock final : public Clock {
  public:
    double nowMs() override { return now; }
    double now = 0;
};

// Records every start; a voice sounds from its due time for its sound's length (one frame per
// millisecond).
class RecordingOutput final : public media::SoundOutput {
  public:
    struct Start {
        int voice;
        double dueMs;
        double calledAtMs;
        std::int64_t offsetFrames = 0;
        media::Lane lane = media::Lane::Other;
    };
    explicit RecordingOutput(FakeClock& clock) : clock_(clock) {}
    int sampleRate() const override { return 1000; }
    void play(int voice, media::SoundPtr sound, double dueMs, std::int64_t offsetFrames = 0,
              media::Lane lane = media::Lane::Other) override;
    void stopAll() override;
    void stopAllAt(double atMs) override;
    void setLaneGain(media::Lane lane, float gain) override {
        gains[static_cast<std::size_t>(lane)] = gain;
    }
    void setSpeed(media::Speed speed) override { speed_ = speed; }
    media::Speed speed() const override { return speed_; }
    bool isPlaying(int voice) override;
    double silentAtMs(int voice) override;

    std::vector<int> voices() const;
    // Each start as "voice@due+offset", due counted from clock reading fromMs.
    QString startsFrom(double fromMs) const;

    std::vector<Start> starts;
    std::map<int, double> ends;
    int stops = 0;
    std::vector<double> stopTimes;  // the clock time of each stopAllAt
    std::array<float, media::kLaneCount> gains{1, 1, 1, 1};

  private:
    FakeClock& clock_;
    media::Speed speed_;
};

class RecordingHost : public PlaybackEngine::Host {
  public:
    bool playerVisible() override { return visible; }
    void closePlayer() override { ++closes; }
    void statusChanged(PlayerStatus status) override { statuses.push_back(status); }
    void pictureChanged(const QImage& primary, double dueMs) override {
        pictures.push_back(primary.copy());
        pictureTimes.push_back(dueMs);
    }
    void runCompleted() override { ++completions; }
    bool visible = true;
    int closes = 0;
    int completions = 0;
    std::vector<PlayerStatus> statuses;
    std::vector<QImage> pictures;
    std::vector<double> pictureTimes;  // the due reading of each picture
};

// The charts of a test, stepped through as the player's queue.
class TestQueue final : public ChartQueue {
  public:
    std::optional<QString> stepForward() override;
    std::optional<QString> stepBack() override;
    std::optional<QString> peekForward() const override;
    std::vector<QString> paths;
    qsizetype current = -1;
};

// Events from their texts "position,channel,value" (a bar end's value is its ratio, added to
// ratios).
std::vector<Event> eventsFromTexts(const std::vector<std::string>& texts,
                                   std::vector<double>& ratios);
std::vector<std::string> textsOf(const std::vector<Event>& events,
                                 const std::vector<double>& ratios);

// A chart's header fields as the information box lists them, "LABEL : value" lines joined by
// CR LF.
QString fieldsText(const Chart& chart);

media::SoundPtr makeSound(int frames);
media::PicturePtr makePicture(QSize size, QRgb color, QRgb corner);

// Runs passes as a driver would, jumping the fake clock to each due time, until the playback is
// idle or `duration` ms have passed since the call.
template <typename Playback>
void runFor(Playback& playback, FakeClock& clock, double duration) {
    double spent = 0;
    for (int passes = 1; passes < 1000000; ++passes) {
        const Step step = playback.pass();
        if (step.kind == Step::Kind::Idle) {
            return;
        }
        if (step.kind == Step::Kind::WaitUntil) {
            const double wait = std::max(0.0, elapsedMs(step.untilMs, clock.now));
            if (spent + wait > duration) {
                clock.now = wrapClock(clock.now + (duration - spent));
                return;
            }
            spent += wait;
            clock.now = wrapClock(clock.now + wait);
        }
    }
    ADD_FAILURE() << "the playback did not settle";
}

// How long a test waits for a chart's load to end before it fails.
inline constexpr int kLoadWaitMs = 30000;

// A controller on a fake clock and a recording output, with a folder for the charts a test writes.
struct PlayerRig {
    QString chartFile(const QString& name, const QByteArray& text);

    QTemporaryDir dir;
    FakeClock clock;
    RecordingOutput output{clock};
    TestQueue queue;
    PlayerView noView;
    PlayerController controller{output, clock, queue, noView};
};

}  // namespace carvel::testing
