#pragma once

#include <QString>
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "chart/chart.h"
#include "chart/chart_reader.h"
#include "chart/index_alphabet.h"

namespace carvel {

inline constexpr int kMeasureCount = 1000;

// A channel line of the full reading that was read: its measure, its channel (base 36) and its
// data with the blanks around it dropped, as bytes: ASCII characters as themselves, any other
// character as one byte 0x80 or above. The data points into memory the reader keeps.
struct ChannelLine {
    std::string_view data;
    std::int16_t measure = 0;
    std::uint16_t channel = 0;
};

// What the full reading knows once every line is read.
struct FullDefinitions {
    IndexBase base = IndexBase::Base36;
    long double startBpm = 130;
    // Beats of each measure: 4 x its ratio.
    std::array<long double, kMeasureCount> measureBeats;
    // #BPMxx and #STOPxx by index, as last defined, up to the highest index defined; read them
    // through definedValue (a value of 0 or below is ignored where it is used).
    std::vector<long double> bpms;
    std::vector<long double> stops;
    int lnobj = -1;  // the #LNOBJ index, -1 when none

    FullDefinitions() { measureBeats.fill(4); }
};

// The value of a #BPMxx or #STOPxx table at index; 0 where the chart defines none.
inline long double definedValue(const std::vector<long double>& table, std::size_t index) {
    return index < table.size() ? table[index] : 0;
}

// Places every sound and picture of the lines (given in file order) at its time in milliseconds
// and returns them in the order of a chart's Timeline, with the anchors of every measure and of
// every tempo change and stop. Tempo changes (03, 08) and stops (09) move
// the times; long-note lanes (51-59, 61-69) keep their starts; key notes of the #LNOBJ value are
// dropped. For a view, the long notes (51-69 pairs, and a key note ended by the next #LNOBJ note
// of its lane) go to longNotes, the tempo changes and stops to timingMarks. Times are computed in
// long double with compensated sums, so a time that a double can hold comes out exactly. Events
// whose time does not fit a double are dropped.
// linesDone(k), when given, is told as the placement goes on that lines[0, k) are not read again
// (k only grows).
Timeline placeEvents(const std::vector<ChannelLine>& lines, const FullDefinitions& definitions,
                     ReadProgress* progress,
                     const std::function<void(std::size_t)>& linesDone = nullptr);

}  // namespace carvel
