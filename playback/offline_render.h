#pragma once

#include <QString>
#include <QStringList>
#include <vector>

namespace carvel {

struct RenderResult {
    int loadResult = 0;          // as LoadChart: 1 when the chart does not exist
    QStringList messages;        // the load's messages, not-found message first
    std::vector<float> samples;  // interleaved stereo at the requested rate
};

// Plays a chart once on a virtual clock that starts at 0 and jumps from due time to due time,
// mixing every key sound at its frame, until the last sound has ended. The same chart gives the
// same samples every time.
RenderResult renderChart(const QString& path, int sampleRate);

}  // namespace carvel
