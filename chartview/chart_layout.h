#pragma once

#include <QString>
#include <cstdint>
#include <vector>

#include "chart/chart.h"

namespace carvel {

// What a column of the chart view stands for; it decides the colours.
enum class LaneKind : std::uint8_t {
    Background,  // the background sounds (01), folded into one narrow column
    Scratch,
    WhiteKey,
    BlackKey,
    // The nine buttons of a .pms chart, by colour.
    PopWhite,
    PopYellow,
    PopGreen,
    PopBlue,
    PopRed,
};

// A long note of a lane, in chart ms.
struct NoteBar {
    double startMs = 0;
    double endMs = 0;
    bool operator==(const NoteBar&) const = default;
};

// One column of the view with what falls on it, each list ascending. Times are chart ms on the
// axis of the reading's playback (PlayerController::positionMs), finite.
struct ChartLane {
    LaneKind kind = LaneKind::Background;
    int side = 0;                  // 1 or 2 (1P, 2P); 0 for the background column
    std::vector<double> notesMs;   // note heads (a long note's start among them)
    std::vector<NoteBar> bars;     // long notes, by start
    std::vector<double> barReach;  // barReach[i]: the latest end among bars[0..i]
};

// The chart as the view draws it, built once per chart.
struct ChartLayout {
    int keys = 5;             // buttons per side, scratch not counted: 5, 7, or 9 (.pms)
    bool doublePlay = false;  // the chart has notes on the 2P side
    // Left to right: the background column, then 1P (scratch left), then 2P (scratch right).
    std::vector<ChartLane> lanes;
    // measureLinesMs[m]: where measure m begins, ascending; bmson: its bar lines.
    std::vector<double> measureLinesMs;
    std::vector<TimingMark> marks;  // tempo changes and stops, by time
    double durationMs = 0;          // the last event's time (or long note's end); 0 for none

    // The number of the measure that holds chart time ms (0 before the first line).
    int measureAt(double ms) const;
};

// At most this many measure lines are kept (the classic reading's lines are evenly spaced to the
// last event, which a chart can put years away).
inline constexpr std::size_t kMaxMeasureLines = 100000;

// The layout of chart in its reading; pms: the chart is a .pms file (nine buttons, one side).
ChartLayout layoutChart(const Chart& chart, bool pms);
bool isPmsPath(const QString& path);

}  // namespace carvel
