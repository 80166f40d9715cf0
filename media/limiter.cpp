#include "media/limiter.h"

#include <algorithm>
#include <cmath>

namespace carvel::media {

Limiter::Limiter(int sampleRate)
    : release_(std::exp(-1000.0 / (kReleaseMs * std::max(sampleRate, 1)))) {}

void Limiter::process(float* samples, std::int64_t frames) {
    std::int64_t i = 0;
    while (i < frames) {
        if (gain_ == 1) {
            // Nothing to do until a sample goes above the threshold.
            while (i < frames && std::fabs(samples[2 * i]) <= kThreshold &&
                   std::fabs(samples[2 * i + 1]) <= kThreshold) {
                ++i;
            }
            if (i == frames) {
                return;
            }
        }
        float* frame = samples + 2 * i;
        const double peak = std::max(std::fabs(frame[0]), std::fabs(frame[1]));
        if (peak * gain_ > kThreshold) {
            gain_ = kThreshold / peak;
        }
        frame[0] = static_cast<float>(frame[0] * gain_);
        frame[1] = static_cast<float>(frame[1] * gain_);
        gain_ = 1 - (1 - gain_) * release_;
        if (1 - gain_ < kSnap) {
            gain_ = 1;
        }
        ++i;
    }
}

}  // namespace carvel::media
