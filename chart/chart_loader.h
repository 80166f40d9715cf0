#pragma once

#include <QString>
#include <QStringList>

#include "chart/chart_state.h"
#include "chart/status_observer.h"
#include "media/sound_budget.h"

namespace carvel {

struct LoadOptions {
    int sampleRate = 44100;  // rate the key sounds are converted to
    int threads = 0;         // decoding threads; 0 = one per core
    std::size_t soundBudgetBytes = media::kChartSoundBudgetBytes;  // decoded samples, all sounds
};

// Reads one chart file into the (freshly reset) chart state: header fields, sound and picture
// tables, bar lengths and the event table. Appends one message per problem to messages, in line
// order. Returns 0 when the file was read, 1 when it does not exist (nothing else changes then).
// observer may be null.
int LoadChart(const QString& path, QStringList& messages, ChartState& state,
              StatusObserver* observer, const LoadOptions& options = {});

// Resets the state and loads path; a missing file gets its not-found message first. What an open
// of the player does before it shows the header fields and starts playback.
int OpenChart(const QString& path, QStringList& messages, ChartState& state,
              StatusObserver* observer, const LoadOptions& options = {});

}  // namespace carvel
