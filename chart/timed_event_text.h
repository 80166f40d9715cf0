#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "chart/chart.h"

namespace carvel {

// Appends the text a person reads for an event of the full reading: the time in milliseconds with
// three decimals (rounded as printf's "%.3f" rounds), the channel's two characters, the value in
// decimal: "1234.568,11,37".
void appendTimedEventText(std::string& out, const TimedEvent& event);

// Writes the same text, for the events of a timeline in turn: the text of a time is made once
// for the events that share it, as a timeline's events do.
class TimedEventTexts {
  public:
    static constexpr size_t kMaxText = 400;  // the longest text, with room to spare

    // Writes the text at out, which has room for kMaxText characters; returns its end.
    char* write(char* out, const TimedEvent& event);

  private:
    std::array<char, 24> time_{};  // the last time's text
    size_t timeSize_ = 0;
    std::uint64_t timeBits_ = 0;
    bool hasTime_ = false;
};

}  // namespace carvel
