#pragma once

#include <QSet>
#include <QString>
#include <cstdint>
#include <string_view>
#include <vector>

#include "chart/event.h"
#include "chart/measure_sorter.h"

namespace carvel {

// A bar-length line: the measure starting at tick `start` lasts `ratio` x 192 ticks.
struct BarLength {
    std::int64_t start = 0;
    double ratio = 0;  // the leading number of the line's data; 0 when there is none
};

// Turns channel lines "#mmmcc:data" into events. One parser serves one read.
class ChannelParser {
  public:
    enum class Result { Handled, Malformed, NotPlayed };

    ChannelParser(MeasureSorter& events, std::vector<BarLength>& barLengths);

    // Hands the events (pairs of value 1 or more) of one line to the sorter, or keeps its bar
    // length unless a line with the same measure and the same data text came before. Lines that
    // do not start with '#' after trimming spaces are handled by doing nothing.
    Result parse(QStringView line);
    // The same for a line of printable ASCII bytes without spaces, read as the characters they are.
    Result parse(std::string_view line);

    // How many lines parsed so far only the full reading plays: channels 03, 08, 09, 17-19,
    // 27-29, 51-59, 61-69, and event lines whose data holds a letter beyond F (base-36 indexes).
    int fullOnlyLines() const { return fullOnlyLines_; }

  private:
    template <typename Text>
    Result parseText(Text line);

    MeasureSorter& events_;
    std::vector<BarLength>& barLengths_;
    QSet<QString> barLengthKeys_;  // "start,data" of the bar lengths seen
    int fullOnlyLines_ = 0;
};

bool isEventChannel(int channel);

// Whether text holds a letter G-Z in either case: an index only base 36 can write.
bool hasBase36Letter(QStringView text);

}  // namespace carvel
