#pragma once

#include <optional>

#include "chart/chart.h"

namespace carvel {

// The chart time in ms (full reading) at measure position `measure`: the measure's number plus a
// fraction of its length by its bar length (8.5: halfway through measure 8), through the tempo
// changes and stops before it. A stop at the position itself has not begun: the time is that of
// a note there. nullopt when the chart has no measures (bmson), the position lies outside 0 to
// kMeasureCount, or its time is no finite number.
std::optional<double> measureTimeMs(const Timeline& timeline, double measure);

}  // namespace carvel
