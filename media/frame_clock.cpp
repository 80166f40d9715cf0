#include "media/frame_clock.h"

#include <algorithm>
#include <cmath>

#include "platform/clock.h"

namespace carvel::media {

double FrameClock::msAt(double frames) const {
    return wrapClock(std::floor(frames * 1000.0 / rate_));
}

std::int64_t FrameClock::frameAt(double ms, double nowFrames) const {
    const double nowClock = std::floor(nowFrames * 1000.0 / rate_);
    const double target = nowClock + elapsedMs(ms, wrapClock(nowClock));
    return static_cast<std::int64_t>(std::floor(target * rate_ / 1000.0 + 0.5));
}

std::int64_t FrameClock::startFrame(double dueMs, double nowFrames, double latencyMs) const {
    const auto latency = static_cast<std::int64_t>(latencyMs * rate_ / 1000.0);
    const auto earliest = static_cast<std::int64_t>(std::ceil(nowFrames));
    return std::max(frameAt(dueMs, nowFrames) + latency, earliest);
}

double FrameClock::interpolate(std::int64_t callbackFrames, double secondsSince,
                               int blockFrames) const {
    return static_cast<double>(callbackFrames) +
           std::clamp(secondsSince * rate_, 0.0, static_cast<double>(blockFrames));
}

}  // namespace carvel::media
