#pragma once

#include <cstdint>

namespace carvel::media {

// Brings a mix that sums above full scale back under it, without delay. While no sample goes above
// the threshold (-1 dBFS) the gain is exactly 1 and the samples are left as they are, so a mix that
// never reaches it is kept bit for bit. A frame that would go above it lowers the gain at once to
// the one that puts that frame's peak on the threshold; the gain then returns smoothly (time
// constant kReleaseMs) and becomes exactly 1 again once it is within kSnap of it. Both channels
// share one gain, so the stereo image stays. The result does not depend on how the mix is cut into
// blocks.
class Limiter {
  public:
    static constexpr float kThreshold = 0.891250938f;  // 10^(-1/20): -1 dBFS
    static constexpr double kReleaseMs = 100;
    // Within this of 1 the gain changes no 16-bit sample by half a step: it is set to 1.
    static constexpr double kSnap = 1e-5;

    explicit Limiter(int sampleRate);

    // Limits `frames` interleaved stereo frames in place.
    void process(float* samples, std::int64_t frames);
    double gain() const { return gain_; }

  private:
    double release_;  // per frame: the distance to 1 is multiplied by this
    double gain_ = 1;
};

}  // namespace carvel::media
