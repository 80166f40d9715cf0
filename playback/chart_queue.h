#pragma once

#include <QString>
#include <optional>

namespace carvel {

// The charts the player steps through: a ring, so the step after the last is the first.
class ChartQueue {
  public:
    virtual ~ChartQueue() = default;
    // Moves the current entry one forward (from none: to the first) and gives its chart; nullopt
    // when there are no entries.
    virtual std::optional<QString> stepForward() = 0;
    // Moves it one back (from the first, or from none: to the last).
    virtual std::optional<QString> stepBack() = 0;
    // The chart that stepForward() would give now, without moving (nullopt: the player does not
    // prepare the next chart ahead).
    virtual std::optional<QString> peekForward() const { return std::nullopt; }
};

}  // namespace carvel
