#include "playback/start_gate.h"

#include <algorithm>
#include <limits>

#include "platform/clock.h"

namespace carvel {

StartGate::StartGate(std::vector<FirstUse> uses, double lengthMs, const ChartMedia& media,
                     double decodingSinceMs)
    : uses_(std::move(uses)), lengthMs_(lengthMs), sinceMs_(decodingSinceMs) {
    startHorizonMs_ = horizonMs(media);
}

double StartGate::horizonMs(const ChartMedia& media) {
    for (; next_ < uses_.size(); ++next_) {
        const FirstUse& use = uses_[next_];
        const bool pending = use.kind == MediaRequest::Kind::Sound
                                 ? media.soundPending(use.index)
                                 : media.picturePending(use.index);
        if (pending) {
            return use.chartMs;
        }
    }
    return std::numeric_limits<double>::infinity();
}

bool StartGate::ready(const ChartMedia& media, double nowMs) {
    const double horizon = horizonMs(media);
    if (horizon == std::numeric_limits<double>::infinity()) {
        return true;
    }
    // A use still pending lies within the first kLeadMs (a shorter chart waits for all).
    if (horizon < kLeadMs) {
        return false;
    }
    // Chart ms made ready per ms of decoding (a stretch without uses at the start, before any
    // decoding, does not count); the rest of the chart then takes (length - horizon) / pace, and
    // the run must not get within the margin of it.
    const double gained = horizon - startHorizonMs_;
    if (gained <= 0) {
        return false;
    }
    const double pace = gained / std::max(1.0, elapsedMs(nowMs, sinceMs_));
    return (lengthMs_ - horizon) / pace <= lengthMs_ - kMarginMs;
}

}  // namespace carvel
