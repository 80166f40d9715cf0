#pragma once

#include <samplerate.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "media/sound_output.h"

namespace RubberBand {
class RubberBandStretcher;
}

namespace carvel::media {

// Plays a stream of mixed stereo frames at a speed: source frames go in, output frames come out,
// about 1 / speed of them per source frame. A turntable resamples (the pitch moves with the
// speed); with the pitch kept a time stretcher does the work. At speed 1 without the pitch kept
// the frames pass through untouched. The output is aligned with the source: the output frame of
// source frame f (counted from the last start) is f / speed. Nothing allocates after construction.
class SpeedStage {
  public:
    static constexpr int kMaxPush = 4096;  // source frames per push

    explicit SpeedStage(int rate);
    ~SpeedStage();
    SpeedStage(const SpeedStage&) = delete;
    SpeedStage& operator=(const SpeedStage&) = delete;

    // For the frames pushed from now on. A change of the way it works (pass through, turntable,
    // pitch kept) starts that way afresh from the next frame; a change of speed alone is smooth.
    void setSpeed(Speed speed);
    Speed speed() const { return speed_; }
    bool passesThrough() const { return speed_.speed == 1.0 && !speed_.keepPitch; }

    // Interleaved stereo source frames, at most kMaxPush. The output of one push fits as long as
    // at most kMaxPush x 2 output frames are left unpulled.
    void push(const float* in, int frames);
    // The source has ended: what the filters hold back comes out.
    void finish();
    // Output frames ready to pull.
    int available() const { return static_cast<int>((end_ - begin_) / 2); }
    // Moves up to `frames` output frames to out; returns how many.
    int pull(float* out, int frames);
    // Source frames pushed whose output has not been pulled yet: how far the source runs ahead
    // of the output.
    double pendingSourceFrames() const { return pushed_ - pulled_; }
    // The most source frames that a pull-driven output (one that pushes blocks of `block` frames
    // until it can pull) has pending at the current setting.
    double lookaheadFrames(int block) const;

  private:
    enum class Way { Through, Turntable, KeepPitch };
    void restart();
    void stretch(const float* in, int frames, bool final);
    void resample(const float* in, int frames, bool final);
    void append(const float* frames, std::int64_t count);
    void compact(std::int64_t room);

    Speed speed_;
    Way way_ = Way::Through;
    SRC_STATE* resampler_ = nullptr;
    std::unique_ptr<RubberBand::RubberBandStretcher> stretcher_;
    std::int64_t dropLeft_ = 0;  // stretcher output still to discard after a start
    std::vector<float> fifo_;    // output, interleaved
    std::int64_t begin_ = 0;     // floats
    std::int64_t end_ = 0;
    std::vector<float> scratch_;
    std::vector<float> planar_[2];
    double pushed_ = 0;  // source frames since the last start
    double pulled_ = 0;  // output frames pulled since then, in source frames
};

}  // namespace carvel::media
