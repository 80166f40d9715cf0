#pragma once

#include <vector>

#include "chart/chart.h"
#include "chart/media_request.h"

namespace carvel {

// When a chart first needs one of its sounds or pictures: the chart time of the first event that
// plays or shows it.
struct FirstUse {
    double chartMs = 0;
    MediaRequest::Kind kind = MediaRequest::Kind::Sound;  // Sound or Picture
    int index = 0;
};

// Every sound and picture index that the chart's events use, once each, by the chart time of its
// first use (the table's order for ties). The classic reading places an event at its ticks x 1250 /
// bpm, which leaves out the bar ends' clock jumps (a chart with shortened measures reaches its
// events somewhat sooner than these times say).
std::vector<FirstUse> firstUses(const Chart& chart);

// The chart time of its last event (0 for none).
double chartLengthMs(const Chart& chart);

}  // namespace carvel
