#pragma once

#include <cstdint>
#include <vector>

#include "media/sound.h"
#include "platform/clock.h"

namespace carvel::media {

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
    virtual void play(int voice, SoundPtr sound, double dueMs, std::int64_t offsetFrames = 0) = 0;

    // Silences every voice and forgets starts not yet due.
    virtual void stopAll() = 0;

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
    bool playing(int voice, std::int64_t nowFrame) const;
    std::int64_t endFrame(int voice) const;

  private:
    std::vector<std::int64_t> end_;
};

}  // namespace carvel::media
