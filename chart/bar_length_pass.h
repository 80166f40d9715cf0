#pragma once

#include <vector>

#include "chart/channel_parser.h"
#include "chart/event.h"

namespace carvel {

// Squeezes the events of every shortened (or lengthened) measure into its first ratio x 192 ticks
// and adds one bar-end event (channel 2) after each such measure that has an event more than 192
// ticks past its start; each bar end's ratio is appended to barEndRatios.
//
// Expects events in the table's order, as the reader leaves them. Events are examined once each, in
// that order, at the position they had before the pass; a rewritten event keeps its place, and a
// bar end goes directly before the first entry, counted from the top, that sorts after it.
void applyBarLengths(const std::vector<BarLength>& barLengths, std::vector<Event>& events,
                     std::vector<double>& barEndRatios);

}  // namespace carvel
