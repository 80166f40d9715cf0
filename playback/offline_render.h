#pragma once

#include <QString>
#include <vector>

#include "chart/load_message.h"

namespace carvel {

struct RenderResult {
    bool found = false;                 // false when the chart does not exist
    std::vector<LoadMessage> messages;  // the load's messages
    std::vector<float> samples;         // interleaved stereo at the requested rate
};

// Plays a chart once on a virtual clock that starts at 0 and jumps from due time to due time,
// mixing every key sound at its frame, until the last sound has ended. The same chart gives the
// same samples every time.
RenderResult renderChart(const QString& path, int sampleRate);

}  // namespace carvel
