#pragma once

// The options the tools share for a part of a chart: --from M, --to M (measures), --from-ms MS,
// --to-ms MS, --mute keys|bgm, --speed S and --keep-pitch.
#include <QString>
#include <optional>

#include "chart/chart.h"
#include "chart/reading_mode.h"
#include "platform/command_line.h"
#include "playback/playback.h"

namespace carvel {

// One end of the range: a measure position or a chart time in ms; nothing for the chart's own.
struct RangeEnd {
    std::optional<double> measure;
    std::optional<double> ms;
    bool given() const { return measure || ms; }
};

struct RangeOptions {
    RangeEnd from;
    RangeEnd to;
    Playback::Mute mute;
    media::Speed speed;
    bool changesPlay() const {
        return from.given() || to.given() || mute.keys || mute.bgm || speed != media::Speed{};
    }
};

// The option lines of the usage texts.
QString rangeUsage();

// Adds the options to `options`, before it parses.
void addRangeOptions(CommandLine& options);

// Reads the options once parsed. Returns the exit status of a usage error (a bad value, both
// forms of one end, an end not after the start, a range without the full reading); otherwise
// nullopt, with the options in range.
std::optional<int> readRangeOptions(const CommandLine& options, ReadingMode mode,
                                    RangeOptions& range);

// The chart time of an end in the full reading; nullopt when a measure has no time in the chart
// (bmson has no measures).
std::optional<double> rangeEndMs(const RangeEnd& end, const Timeline& timeline);

// The message for an end that rangeEndMs could not place.
QString unplacedEndText(const RangeEnd& end);

}  // namespace carvel
