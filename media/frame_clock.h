#pragma once

#include <cstdint>

namespace carvel::media {

// The arithmetic of a clock that counts the frames a sound card has been given: readings are whole
// milliseconds wrapped at 2^32, as the playback's clock is (see platform/clock.h).
class FrameClock {
  public:
    explicit FrameClock(int rate) : rate_(rate) {}

    // The clock reading at `frames` frames since the output opened.
    double msAt(double frames) const;

    // The frame at which clock reading ms falls, a half rounding up, taking the reading as the one
    // nearest to `nowFrames` (the counter may have wrapped in between).
    std::int64_t frameAt(double ms, double nowFrames) const;

    // Where a sound due at dueMs starts: that frame plus a fixed latency, but never before now.
    std::int64_t startFrame(double dueMs, double nowFrames, double latencyMs) const;

    // Frames played by now, between two callbacks: the frames counted at the last callback plus
    // the time since it, but never past the block it was given.
    double interpolate(std::int64_t callbackFrames, double secondsSince, int blockFrames) const;

  private:
    int rate_;
};

}  // namespace carvel::media
