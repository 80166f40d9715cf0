#pragma once

#include <QSet>
#include <QString>
#include <cstdint>
#include <vector>

#include "chart/event.h"

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

    ChannelParser(std::vector<Event>& events, std::vector<BarLength>& barLengths);

    // Appends the events (pairs of value 1 or more) of one line, or its bar length unless a line
    // with the same measure and the same data text came before. Lines that do not start with '#'
    // after trimming spaces are handled by doing nothing. Events are appended unsorted.
    Result parse(QStringView line);

  private:
    std::vector<Event>& events_;
    std::vector<BarLength>& barLengths_;
    QSet<QString> barLengthKeys_;  // "start,data" of the bar lengths seen
};

bool isEventChannel(int channel);

}  // namespace carvel
