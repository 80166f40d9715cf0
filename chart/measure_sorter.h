#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "chart/event.h"
#include "chart/event_keys.h"

namespace carvel {

// Takes the parser's events as sort keys (event_keys.h), line by line, and adds them to the table
// a measure at a time, in the table's order, while the lines come measure by measure: the table
// is then sorted without being read again. Once a line with events goes back to a measure already
// placed or before the held one, or a measure outgrows the keyed sort, the events go to the table
// as they come and it needs sortEvents at the end (inOrder() is false). A line without events that
// goes back is passed over.
class MeasureSorter {
  public:
    static constexpr size_t kChunk = 256;  // keys room() has space for

    explicit MeasureSorter(std::vector<Event>& events);

    // Starts a line of a ranked channel (0-99 but the bar-length channel) in the measure from tick
    // `start` (a multiple of 192, six digits).
    void startLine(std::int64_t start, int channel);
    // The channel's part of the line's ranks: a key is tick << 16 | channelBits() | value place.
    std::uint32_t channelBits() const { return channelBits_; }
    // Space for kChunk keys of the line, good until the next keep(); keep(kept) keeps the first
    // kept of them.
    std::uint32_t* room() { return keys_.data() + used_; }
    void keep(size_t kept);
    // Places the measure still held; call once after the last line.
    void finish() { placeHeld(); }

    bool inOrder() const { return inOrder_; }
    // The events taken so far.
    size_t count() const { return events_.size() + used_; }

  private:
    void placeHeld();
    // Appends the events of n keys of the measure from tick `start`, in the keys' order.
    void append(const std::uint32_t* keys, size_t n, std::int64_t start);

    std::vector<Event>& events_;
    const event_keys::TailRanks& ranks_;
    std::vector<std::uint32_t> keys_;  // the held measure's keys, then room for a chunk
    size_t used_ = 0;
    std::int64_t start_ = -1;       // the held keys' measure
    std::int64_t lineStart_ = -1;   // the line's measure
    std::int64_t lastPlaced_ = -1;  // the last measure whose events went to the table
    // The line goes back before the held measure (or to a placed one). Its first event ends the
    // keeping of the order; a line without events changes nothing.
    bool returning_ = false;
    std::vector<event_keys::KeyRun> runs_;  // the held keys by line
    event_keys::LineSortScratch scratch_;
    std::uint32_t channelBits_ = 0;
    bool inOrder_ = true;
};

}  // namespace carvel
