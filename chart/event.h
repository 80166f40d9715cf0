#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "chart/channels.h"

namespace carvel {

// One entry of a chart's event table. Packed into 12 bytes, as the table is most of a large
// chart's memory; its fields are read and written by value (no reference binds to them).
struct [[gnu::packed, gnu::aligned(4)]] Event {
    std::int64_t position = 0;  // ticks: 192 to a measure of nominal length
    // Sound or picture index (up to 255); for a bar end, an index into the chart's bar-end ratios,
    // of which a chart of at most 64 MiB has fewer than 2^23 (at most one for each distinct
    // bar-length line of a measure, each line 8 bytes or more).
    std::int32_t value : 24 = 0;
    std::uint8_t channel = 0;  // 1, 2 (bar end), 4, 6, 7, 11-16, 21-26
};
static_assert(sizeof(Event) == 12);

inline constexpr std::uint8_t kBarEndChannel = channels::kBarLength;

// The text a person reads for an event: the position as six digits (more when larger, '-' when
// negative), the channel, the value, joined by commas ("000960,11,3", "000720,2,0.75").
std::string eventText(const Event& event, const std::vector<double>& barEndRatios);
// Appends the same text to out, without building it on its own.
void appendEventText(std::string& out, const Event& event, const std::vector<double>& barEndRatios);

// Event lines (each event's text and a '\n') built up in a buffer of its own, for writing a whole
// table out. Much faster than appendEventText for a table in order: the digits of the last
// six-digit position are kept, and ",channel,value" once made for a channel and value.
class EventLineBuffer {
  public:
    explicit EventLineBuffer(const std::vector<double>& barEndRatios);

    // Appends the lines of the events from first on, until the text holds `until` bytes or more
    // or last is reached; returns the first event not added.
    const Event* add(const Event* first, const Event* last, size_t until);
    void add(const Event& event) { add(&event, &event + 1, SIZE_MAX); }
    std::string_view text() const { return {data_.data(), size_}; }
    void clear() { size_ = 0; }

  private:
    void addOther(const Event& event);  // a bar end, a wide position, an unranked value, or growth
    void makeTail(size_t tail);

    const std::vector<double>& ratios_;
    std::vector<char> data_;
    size_t size_ = 0;
    std::int64_t lastPosition_ = -1;
    std::uint64_t lastDigits_ = 0;  // lastPosition_'s six digits in the first six bytes
    // By channel x 256 + value: ",channel,value\n" in up to 8 bytes and its length, 0 while not
    // yet made.
    std::vector<std::uint64_t> tails_;
    std::vector<std::uint8_t> tailSizes_;
};

// The event table's order is the order of those texts compared character by character (a ',' or
// a '.' sorts before any digit), so at one position channel 11 comes before a channel-2 bar end,
// which comes before channel 4. Numbers decide where that gives the same answer; the text is made
// only for the rare cases where it does not (bar ends at one position, positions beyond six
// digits).
class EventOrder {
  public:
    explicit EventOrder(const std::vector<double>& barEndRatios) : ratios_(barEndRatios) {}
    bool operator()(const Event& a, const Event& b) const {
        // Distinct six-digit positions decide at once, and are by far the most common case.
        if (a.position != b.position && isSixDigits(a.position) && isSixDigits(b.position)) {
            return a.position < b.position;
        }
        return samePositionOrWide(a, b);
    }

  private:
    static bool isSixDigits(std::int64_t position) { return position >= 0 && position <= 999999; }
    bool samePositionOrWide(const Event& a, const Event& b) const;

    const std::vector<double>& ratios_;
};

// The position as the playback reads it: the number written in the first six characters of the
// event's text. Equal to the position for 0 .. 999999.
double widePositionField(std::int64_t position);  // for positions beyond six digits
inline double positionField(std::int64_t position) {
    return position >= 0 && position <= 999999 ? static_cast<double>(position)
                                               : widePositionField(position);
}

// A bar end's ratio as the playback reads it: the number written in its event text.
double ratioField(double ratio);

// Sorts into the event table's order.
void sortEvents(std::vector<Event>& events, const std::vector<double>& barEndRatios);

}  // namespace carvel
