#pragma once

#include <cstddef>
#include <vector>

#include "playback/chart_media.h"
#include "playback/first_use.h"

namespace carvel {

// Decides when a run may start while its media are still being decoded. The files are decoded in
// the order of their first use, so what is ready reaches a chart time, the horizon: the first use
// of the first index still pending. The run starts once the horizon has passed the first kLeadMs
// of chart time (a shorter chart waits for all), and decoding, at the pace it has kept since the
// chart was read (the chart time its horizon has gained since, per ms), will reach the chart's end
// kMarginMs or more before the run does. A decoding slower than the chart plays thus waits longer,
// enough not to be caught up with.
class StartGate {
  public:
    static constexpr double kLeadMs = 2000;
    static constexpr double kMarginMs = 1000;

    StartGate() = default;
    // uses: by chart time (firstUses); media: the tables as decoding begins, at clock reading
    // decodingSinceMs.
    StartGate(std::vector<FirstUse> uses, double lengthMs, const ChartMedia& media,
              double decodingSinceMs);

    // The chart time up to which every first use is ready; infinity once none is pending.
    double horizonMs(const ChartMedia& media);
    bool ready(const ChartMedia& media, double nowMs);

  private:
    std::vector<FirstUse> uses_;
    std::size_t next_ = 0;  // the uses before it are ready; a ready index stays ready
    double lengthMs_ = 0;
    double sinceMs_ = 0;
    double startHorizonMs_ = 0;  // the horizon as decoding began
};

}  // namespace carvel
