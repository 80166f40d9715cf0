#pragma once

#include <cstdint>
#include <vector>

#include "media/sound.h"
#include "platform/clock.h"

namespace carvel::media {

// The groups of sounds that the lane mixer sets a gain for. Other covers what no chart lane plays
// (the sound preview); its gain stays 1.
enum class Lane : std::uint8_t { Background, Keys1P, Keys2P, Other };
inline constexpr int kLaneCount = 4;

// How fast the performance runs: the output's clock, and with it every time that the playback
// reads from it, runs at `speed` times real time. The pitch moves with the speed (a turntable)
// unless keepPitch.
struct Speed {
    static constexpr double kSlowest = 0.5;
    static constexpr double kFastest = 2.0;
    double speed = 1.0;
    bool keepPitch = false;
    bool operator==(const Speed&) const = default;
};

// What playback and preview need of the sound card. Times are readings of the Clock that the same
// output provides (the clock and the sound share one time base).
class SoundOutput {
  public:
    virtual ~SoundOutput() = default;

    virtual int sampleRate() const = 0;

    // Restarts voice `voice` with `sound` from its frame offsetFrames (0: its beginning; at or
    // past its end: the voice falls silent): the voice's earlier sound stops where this one
    // starts, so a voice never overlaps itself. The start lands at clock time dueMs (plus the
    // output's fixed latency), or as soon as possible when that has passed.
    virtual void play(int voice, SoundPtr sound, double dueMs, std::int64_t offsetFrames = 0,
                      Lane lane = Lane::Other) = 0;

    // The gain of a lane's voices, linear (0: silent), applied to the ringing sounds at once.
    virtual void setLaneGain(Lane /*lane*/, float /*gain*/) {}
    // The speed of the performance from now on (see Speed); outputs that cannot change it keep 1.
    virtual void setSpeed(Speed /*speed*/) {}
    virtual Speed speed() const { return {}; }

    // Silences every voice and forgets starts not yet due.
    virtual void stopAll() = 0;
    // The same at clock time atMs (plus the output's fixed latency), the moment a start due at atMs
    // would land; starts posted after this call are kept. At once when that has passed.
    virtual void stopAllAt(double atMs) = 0;

    // True from the call to play until the voice's sound has ended (or stopAll).
    virtual bool isPlaying(int voice) = 0;

    // The clock time at which the voice falls silent; meaningful while isPlaying.
    virtual double silentAtMs(int voice) = 0;

    // How long after its due time a sound is heard: the scheduling latency plus the card's
    // buffer. Pictures wait as long to stay in step. 0 where nothing is heard in real time.
    virtual double heardDelayMs() const { return 0; }
};

// Bookkeeping shared by the mixer-based outputs: per voice, the frames at which its current sound
// starts and ends, kept on the control side so that status queries never touch the mixer.
class VoiceSchedule {
  public:
    // The voice plays `frames` frames from startFrame on; frames below 0 count as none.
    void started(int voice, std::int64_t startFrame, std::int64_t frames);
    void clear();
    // Every voice falls silent by `frame` at the latest.
    void stopAt(std::int64_t frame);
    bool playing(int voice, std::int64_t nowFrame) const;
    std::int64_t endFrame(int voice) const;

  private:
    std::vector<std::int64_t> end_;
};

}  // namespace carvel::media
