#pragma once

#include "chart/chart_state.h"

namespace carvel {

// Squeezes the events of every shortened measure into its first ratio x 192 ticks and adds one
// end-of-bar marker "pos,2,ratio" after each such measure that has an event more than 192 ticks
// past its start. Expects List2 in text order, as the loader leaves it; rewritten events keep their
// place, markers go directly before the first entry from the top that sorts after them. Used-up
// entries of strBarLen read "-1" afterwards.
void applyBarLengths(ChartState& state);

}  // namespace carvel
