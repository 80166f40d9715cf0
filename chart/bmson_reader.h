#pragma once

#include <QByteArray>
#include <QString>

#include "chart/chart.h"
#include "chart/chart_reader.h"

namespace carvel {

// Whether a chart file is read as bmson (by its name's extension, in the full reading only).
bool isBmsonPath(const QString& path);

// Reads bmson 1.0 (JSON) into the full reading's chart: the header from `info`, one sound per
// entry of `sound_channels` (index = its 1-based position), one picture per entry of
// `bga.bga_header` (index = its 1-based position; the events name them by id), and every note and
// picture event at its time in milliseconds, through `bpm_events` and `stop_events`. A note on lane
// 0 is a background sound (channel 01); lanes 1-16 are the key channels of beat-7k (a long note's
// start on its long-note channel; its end is not sounded); a note whose `c` is set continues its
// channel's sound instead of restarting it. For a view of the chart, the long notes (with their
// ends), the tempo changes and stops, and the bar lines of `lines` are timed too. Invalid JSON and
// fields of the wrong kind become messages (each kind of field once); the rest of the file is still
// read.
Chart readBmson(const QByteArray& bytes, const QString& folder, ReadProgress* progress = nullptr);

}  // namespace carvel
