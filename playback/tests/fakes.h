#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include <QTemporaryDir>
#include "media/sound_output.h"
#include "platform/clock.h"

#include "../../chart/tests/test_files.h"
#include "playback/playback_engine.h"
#include "playback/player_controller.h"

namespace carvel::testing {

class FakeClock final : public Clock {
  public:
    double nowMs() override { return now; }
    double now = 0;
};

// Records every start; a voice sounds from its due time for its sound's length.
class RecordingOutput final : public media::SoundOutput {
  public:
    struct Start {
        int voice;
        double dueMs;
        double calledAtMs;
    };
    explicit RecordingOutput(FakeClock& clock) : clock_(clock) {}
    int sampleRate() const override { return 1000; }  // one frame per millisecond
    void play(int voice, media::SoundPtr sound, double dueMs) override {
        starts.push_back({voice, dueMs, clock_.now});
        ends[voice] = std::max(dueMs, clock_.now) + static_cast<double>(sound->frames());
    }
    void stopAll() override {
        ++stops;
        ends.clear();
    }
    bool isPlaying(int voice) override {
        auto it = ends.find(voice);
        return it != ends.end() && clock_.now < it->second;
    }
    double silentAtMs(int voice) override { return ends.count(voice) ? ends[voice] : 0; }

    std::vector<Start> starts;
    std::map<int, double> ends;
    int stops = 0;

  private:
    FakeClock& clock_;
};

class RecordingHost : public PlaybackEngine::Host {
  public:
    bool playerVisible() override { return visible; }
    void closePlayer() override { ++closes; }
    void statusChanged(const QString& text) override { statuses.append(text); }
    void pictureChanged(const QImage& primary) override { pictures.push_back(primary.copy()); }
    void runCompleted() override {
        ++completions;
        if (onCompleted) {
            onCompleted();
        }
    }
    bool visible = true;
    int closes = 0;
    int completions = 0;
    QStringList statuses;
    std::vector<QImage> pictures;
    std::function<void()> onCompleted;
};

inline media::SoundPtr makeSound(int frames) {
    auto sound = std::make_shared<media::Sound>();
    sound->sampleRate = 1000;
    sound->samples.assign(static_cast<size_t>(frames) * 2, 0.5f);
    return sound;
}

// Runs passes as a driver would, jumping the fake clock to each due time, until the engine is idle
// or `duration` ms have passed since the call. Returns the number of passes.
inline int runFor(PlaybackEngine& engine, FakeClock& clock, double duration) {
    double spent = 0;
    for (int passes = 1; passes < 1000000; ++passes) {
        const PlaybackEngine::Step step = engine.pass();
        if (step.kind == PlaybackEngine::Step::Kind::Idle) {
            return passes;
        }
        if (step.kind == PlaybackEngine::Step::Kind::WaitUntil) {
            const double wait = std::max(0.0, elapsedMs(step.untilMs, clock.now));
            if (spent + wait > duration) {
                clock.now = wrapClock(clock.now + (duration - spent));
                return passes;
            }
            spent += wait;
            clock.now = wrapClock(clock.now + wait);
        }
    }
    ADD_FAILURE() << "the engine did not settle";
    return 0;
}

// A controller on a fake clock and a recording output, with a folder for the charts a test writes.
// Fixtures bind their own view with controller.setView.
struct PlayerRig {
    PlayerRig() { chart.Reset(); }
    QString chartFile(const QString& name, const QByteArray& text) {
        const QString path = dir.path() + u'/' + name;
        writeBytes(path, text);
        return path;
    }

    QTemporaryDir dir;
    FakeClock clock;
    RecordingOutput output{clock};
    ChartState chart;
    Playlist playlist;
    PlayerView noView;
    PlayerController controller{chart, playlist, output, clock, noView};
};

}  // namespace carvel::testing
