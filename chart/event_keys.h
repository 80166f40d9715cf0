#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "chart/event.h"

namespace carvel::event_keys {

// Within one measure, the events the reader makes (channels 0-99 other than bar ends, values
// 0-255) sort as 32-bit keys tick << 16 | rank: the tick is the position within the measure
// (0-191), the rank the place of the text "channel,value" among all such texts. At one position
// comparing ranks compares the rest of the event texts.
inline constexpr int kChannels = 100;
inline constexpr int kValues = 256;
inline constexpr std::int64_t kTicks = 192;  // of a measure of nominal length

// At most this many events of a measure are sorted by keys; a larger measure takes a plain sort.
inline constexpr size_t kMaxKeyed = size_t{1} << 16;

// A channel's texts sort together, as "channel," is never a prefix of another channel's
// "channel,", and then as their values' texts: rank = channelPlace << 8 | valuePlace.
struct TailRanks {
    std::array<std::uint8_t, kChannels> channelPlace{};
    std::array<std::uint8_t, kValues> valuePlace{};
    std::array<std::uint16_t, kChannels * kValues> byRank{};  // channel x 256 + value by rank

    std::uint16_t rank(int channel, int value) const {
        return static_cast<std::uint16_t>(channelPlace[static_cast<size_t>(channel)] << 8 |
                                          valuePlace[static_cast<size_t>(value)]);
    }
};

TailRanks buildTailRanks();

// Built on first use: a chart of a few events should not pay for the tables. Small enough to
// inline into comparisons.
inline const TailRanks& tailRanks() {
    static const TailRanks ranks = buildTailRanks();
    return ranks;
}

inline bool hasTailRank(const Event& e) {
    return e.channel != kBarEndChannel && e.channel < kChannels && e.value >= 0 &&
           e.value < kValues;
}

// The event of a key in the measure that starts at tick `start`.
inline Event eventOfKey(std::uint32_t key, std::int64_t start, const TailRanks& ranks) {
    const int tail = ranks.byRank[key & 0xffff];
    return Event{start + (key >> 16), tail % kValues, static_cast<std::uint8_t>(tail / kValues)};
}

// Sorts the n keys of one measure. keys holds them first and grows to 3n; the sorted keys are
// returned, in keys. channelPlaces marks (non-zero) the channel places of the keys' ranks.
// buckets is scratch kept between calls.
const std::uint32_t* sortKeys(std::vector<std::uint32_t>& keys, size_t n,
                              std::array<std::uint8_t, 256> channelPlaces,
                              std::vector<std::uint32_t>& buckets);

// The keys that one line of a measure gave: keys[begin .. begin + size), all of one channel place.
struct KeyRun {
    std::uint32_t begin = 0;
    std::uint32_t size = 0;
    std::uint8_t channelPlace = 0;
};

// Scratch that sortLineKeys keeps between measures.
struct LineSortScratch {
    std::vector<std::uint64_t> runOrder;
    std::vector<std::uint32_t> buckets;
};

// The same as sortKeys for the n keys of a measure's lines (runs, in the order of the lines, cover
// them). A line's ticks never fall, so taking the lines by channel place into one bucket a tick
// leaves keys out of order only where lines of one channel meet at a tick; those few are moved
// into place. A measure where that would take more moves than it has keys is sorted by sortKeys.
const std::uint32_t* sortLineKeys(std::vector<std::uint32_t>& keys, size_t n,
                                  const std::vector<KeyRun>& runs, LineSortScratch& scratch);

}  // namespace carvel::event_keys
