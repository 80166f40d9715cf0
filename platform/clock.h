#pragma once

#include <cstdint>

namespace carvel {

// A millisecond counter in the manner of a 32-bit tick count: readings lie in [0, 2^32) and wrap
// around. Readings may carry a fraction (a virtual clock lands exactly on due times); a real-time
// clock gives whole milliseconds. Differences between readings must go through elapsedMs().
class Clock {
  public:
    virtual ~Clock() = default;
    virtual double nowMs() = 0;
    // How many of its milliseconds pass in a real one: a timer that waits for a reading divides
    // the wait by this. 1 but where the clock runs at the speed of a performance.
    virtual double rate() const { return 1.0; }
};

inline constexpr double kClockModulus = 4294967296.0;

// later - earlier, wrapped into [-2^31, 2^31): a wrap of the counter between the two readings
// changes nothing.
double elapsedMs(double later, double earlier);

// Brings a reading back into [0, 2^32) after arithmetic on it.
double wrapClock(double ms);

// Monotonic whole milliseconds since an arbitrary start, wrapped at 2^32.
class SteadyClock final : public Clock {
  public:
    double nowMs() override;
};

}  // namespace carvel
