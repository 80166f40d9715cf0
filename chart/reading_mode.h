#pragma once

#include <cstdint>
#include <optional>

namespace carvel {

// How a chart is read. Classic reads it exactly as the format was first defined: one tempo,
// hexadecimal indexes, channels 01-26 with bar lengths. Full reads what charts are written with
// today (base-36 indexes, 7-key lanes, tempo changes, stops, long notes, random branches) and
// places every event at its time in milliseconds.
enum class ReadingMode { Classic, Full };

struct ReadOptions {
    ReadingMode mode = ReadingMode::Classic;
    // The full reading's draws for #RANDOM; nullopt draws anew at each read.
    std::optional<std::uint32_t> seed;
};

}  // namespace carvel
