#pragma once

namespace carvel {

// What a pass of the playback tells its driver: run the next pass at once, at a clock reading, or
// not until something changes.
struct Step {
    enum class Kind { Again, WaitUntil, Idle };
    Kind kind = Kind::Idle;
    double untilMs = 0;  // clock reading, for WaitUntil
};

}  // namespace carvel
