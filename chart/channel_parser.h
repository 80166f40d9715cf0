#pragma once

#include <QSet>
#include <QString>

#include "chart/chart_state.h"
#include "chart/status_observer.h"

namespace carvel {

// Turns channel lines "#mmmcc:data" into events of the chart state. One parser serves one load.
class ChannelLineParser {
  public:
    enum Result { kHandled = 0, kMalformed = 2, kNotPlayed = 3 };

    ChannelLineParser(ChartState& state, StatusObserver* observer);

    // Records the events (List2, working entries in colEvents) or the bar length (strBarLen) of one
    // line. Lines that do not start with '#' after trimming spaces are handled by doing nothing.
    // Events are appended unsorted; the loader sorts List2 once the file is read.
    int ParseChannelLine(const QString& line);

  private:
    ChartState& state_;
    StatusObserver* observer_;
    QSet<QString> barLengthKeys_;  // mirrors strBarLen for the duplicate test
};

bool isEventChannel(int channel);

}  // namespace carvel
