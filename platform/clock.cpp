#include "platform/clock.h"

#include <chrono>
#include <cmath>

namespace carvel {

double wrapClock(double ms) {
    double r = std::fmod(ms, kClockModulus);
    if (r < 0) {
        r += kClockModulus;
    }
    return r;
}

double elapsedMs(double later, double earlier) {
    double d = wrapClock(later - earlier);
    if (d >= kClockModulus / 2) {
        d -= kClockModulus;
    }
    return d;
}

double SteadyClock::nowMs() {
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<double>(static_cast<std::uint32_t>(ms));
}

}  // namespace carvel
