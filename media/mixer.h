#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

#include "media/sound.h"
#include "media/sound_output.h"
#include "media/spsc_queue.h"

namespace carvel::media {

// One voice per sound index. The control side (one thread) posts commands; the mixing side (the
// audio callback, or the offline renderer) mixes. Mixing never blocks and never allocates: sounds
// arrive inside commands and leave through a return queue, so the last reference to a sound is
// never dropped on the mixing side while the control side still collects.
class Mixer {
  public:
    static constexpr int kVoices = 32768;  // every index a chart can name

    struct Command {
        enum class Type { Start, StopAll } type = Type::Start;
        int voice = 0;
        std::int64_t frame = 0;  // absolute output frame; a past frame means "at once"
        SoundPtr sound;
        std::int64_t offset = 0;  // the sound's first frame to play; past its end: none
        Lane lane = Lane::Other;
    };

    Mixer();

    // Control side, any time: the gain of a lane's voices from the next block mixed on.
    void setLaneGain(Lane lane, float gain) {
        gains_[static_cast<std::size_t>(lane)].store(gain, std::memory_order_relaxed);
    }

    // Control side. A StopAll at a frame still ahead waits for that frame, like a start, and then
    // forgets the starts that arrived before it; one at a past frame acts at once. Returns false,
    // leaving command as it was, when the command queue is full; the caller must then keep the
    // command and post it again, or the start is lost.
    [[nodiscard]] bool post(Command&& command);
    // Control side: drops the sounds the mixing side has finished with.
    void collect();

    // Mixing side: adds frames [framesMixed, framesMixed + frames) to out (interleaved stereo,
    // which the caller has zeroed) and advances framesMixed.
    void mix(float* out, int frames);
    // Mixing side, before the first mix: the output frames are counted from `frame` on.
    void startAt(std::int64_t frame) { framesMixed_.store(frame, std::memory_order_release); }
    std::int64_t framesMixed() const { return framesMixed_.load(std::memory_order_acquire); }
    // How many starts the mixing side has applied so far (for measurements).
    std::int64_t startsApplied() const { return startsApplied_.load(std::memory_order_acquire); }

  private:
    struct Voice {
        SoundPtr sound;
        std::int64_t position = 0;  // next frame of sound to play
        Lane lane = Lane::Other;
    };

    void apply(Command& command);
    void retire(SoundPtr sound);
    // Forgets the first `count` pending commands (those that arrived before a stop).
    void dropPending(std::size_t count);

    SpscQueue<Command, 4096> commands_;
    SpscQueue<SoundPtr, 8192> retired_;
    std::vector<Voice> voices_;
    std::vector<int> active_;       // voices with a sound, unordered
    std::vector<Command> pending_;  // starts not yet due, capacity reserved up front
    std::atomic<std::int64_t> framesMixed_{0};
    std::atomic<std::int64_t> startsApplied_{0};
    std::array<std::atomic<float>, kLaneCount> gains_{1.0f, 1.0f, 1.0f, 1.0f};
};

}  // namespace carvel::media
