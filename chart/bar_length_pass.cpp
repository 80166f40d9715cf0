#include "chart/bar_length_pass.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace carvel {

namespace {

// Rounds half up and keeps the result within a range that formats and converts safely.
std::int64_t roundTick(double x) {
    x = std::clamp(x, -1e15, 1e15);
    return static_cast<std::int64_t>(std::floor(x + 0.5));
}

// The table during the pass. Events never move relative to each other (a rewritten event keeps its
// place), so the final table is the events in their order with the bar ends placed between them:
// a bar end is kept with the index of the event it stands before (its slot). The examined events
// [0, current] are no longer sorted, so the greatest of them, up to the end of each block of
// kBlock, is kept (blockMax); the unexamined rest is still sorted. Together they find the first
// event that sorts after a bar end in logarithmic time plus one block; bar ends are few, and are
// searched one by one.
class PassTable {
  public:
    PassTable(std::vector<Event>& events, const std::vector<double>& ratios)
        : events_(events), less_(ratios) {
        blockMax_.reserve(events.size() / kBlock + 1);
    }

    // Makes event k the current one; events are examined in order, possibly skipping some that
    // the pass leaves alone.
    void examine(size_t k) {
        current_ = k;
        for (size_t blockEnd = (blockMax_.size() + 1) * kBlock; blockEnd <= k; blockEnd += kBlock) {
            blockMax_.push_back(static_cast<std::uint32_t>(blockMaxOf(blockEnd - kBlock)));
        }
    }

    void moveCurrent(std::int64_t position) {
        events_[current_].position = position;
        movedBlock_ = current_ / kBlock;
    }

    // Places a bar end directly before the first entry, from the top, that sorts after it.
    void insert(const Event& barEnd) {
        const size_t slot = firstEventAfter(barEnd);
        auto it = barEnds_.begin();
        for (; it != barEnds_.end() && it->slot <= slot; ++it) {
            if (less_(barEnd, it->event)) {
                barEnds_.insert(it, {it->slot, barEnd});
                return;
            }
        }
        barEnds_.insert(it, {slot, barEnd});
    }

    // Writes the final table. Filled from the back, an event only ever moves towards the end, so
    // nothing is overwritten before it has moved; the events before the first bar end stay.
    void finish() {
        size_t end = events_.size();
        events_.resize(end + barEnds_.size());
        size_t write = events_.size();
        for (auto barEnd = barEnds_.rbegin(); barEnd != barEnds_.rend(); ++barEnd) {
            const auto at = [&](size_t i) {
                return events_.begin() + static_cast<std::ptrdiff_t>(i);
            };
            std::move_backward(at(barEnd->slot), at(end), at(write));
            write -= end - barEnd->slot;
            end = barEnd->slot;
            events_[--write] = barEnd->event;
        }
    }

  private:
    struct Placed {
        size_t slot;  // the index of the event it stands before; the event count: at the end
        Event event;
    };

    // 64 events share one entry of blockMax_: 1/16 of a byte per event instead of 4.
    static constexpr size_t kBlock = 64;

    // The index of the greatest of the events before a block's start.
    size_t seed(size_t blockStart) const { return blockMax_[blockStart / kBlock - 1]; }
    size_t step(size_t max, size_t i) const { return less_(events_[max], events_[i]) ? i : max; }
    // The index of the greatest of the events before the end of the block that starts at first
    // (the earliest of equals, or one equal to it). A block none of whose events moved is still
    // sorted, so its last event is its greatest.
    size_t blockMaxOf(size_t first) const {
        const size_t last = first + kBlock - 1;
        if (first / kBlock != movedBlock_) {
            return first == 0 ? last : step(seed(first), last);
        }
        size_t max = first == 0 ? 0 : step(seed(first), first);
        for (size_t i = first + 1; i <= last; ++i) {
            max = step(max, i);
        }
        return max;
    }

    size_t firstEventAfter(const Event& e) const {
        // The greatest examined event up to the end of each whole block rises block by block.
        const auto inBlocks = std::upper_bound(
            blockMax_.begin(), blockMax_.end(), e,
            [&](const Event& x, std::uint32_t id) { return less_(x, events_[id]); });
        // No event before that block sorts after e, so the first that does is the answer.
        const size_t first = static_cast<size_t>(inBlocks - blockMax_.begin()) * kBlock;
        const size_t end = inBlocks != blockMax_.end() ? first + kBlock : current_ + 1;
        for (size_t i = first; i < end; ++i) {
            if (less_(e, events_[i])) {
                return i;
            }
        }
        const auto rest = std::upper_bound(
            events_.begin() + static_cast<std::ptrdiff_t>(current_ + 1), events_.end(), e, less_);
        return static_cast<size_t>(rest - events_.begin());
    }

    std::vector<Event>& events_;
    EventOrder less_;
    std::vector<std::uint32_t> blockMax_;  // block b: the greatest of [0, (b + 1) * kBlock - 1]
    std::vector<Placed> barEnds_;          // in table order
    size_t current_ = 0;
    // The block of the last event moved. Events are examined in order and a block's greatest is
    // taken once the examination has passed it, so no other unfinished block holds a moved event.
    size_t movedBlock_ = SIZE_MAX;
};

}  // namespace

void applyBarLengths(const std::vector<BarLength>& barLengths, std::vector<Event>& events,
                     std::vector<double>& barEndRatios) {
    if (barLengths.empty()) {
        return;
    }
    // Bar lengths by measure start. Positions in the sorted table only grow, so the bar lengths
    // whose measure holds the event (start in (A - 192, A]) form a window that slides forward, and
    // a bar length expires (gets its bar end) at the first event more than 192 ticks past its
    // start.
    std::vector<size_t> byStart(barLengths.size());
    for (size_t i = 0; i < byStart.size(); ++i) {
        byStart[i] = i;
    }
    std::stable_sort(byStart.begin(), byStart.end(),
                     [&](size_t x, size_t y) { return barLengths[x].start < barLengths[y].start; });
    std::vector<bool> used(barLengths.size(), false);
    size_t windowBegin = 0;
    size_t windowEnd = 0;
    size_t sweepNext = 0;

    PassTable table(events, barEndRatios);
    const size_t eventCount = events.size();
    std::vector<size_t> relevant;
    const auto start = [&](size_t w) { return static_cast<double>(barLengths[byStart[w]].start); };
    constexpr double kNever = std::numeric_limits<double>::infinity();
    for (size_t k = 0; k < eventCount; ++k) {
        if (windowBegin == windowEnd) {
            // With the window empty, an event before the next bar length's start and not more than
            // 192 ticks past the earliest unexpired one changes nothing; such events are skipped
            // in one tight loop. A wider position goes the long way, through positionField.
            const double enter = windowEnd < byStart.size() ? start(windowEnd) : kNever;
            const double expire = sweepNext < byStart.size() ? start(sweepNext) + 192 : kNever;
            // For a whole p, p < enter and p <= expire is p < min(ceil(enter), floor(expire) + 1);
            // the clamps keep that within 0 .. 10^6, where a six-digit p is below the limit.
            const auto bound = [](double x) { return std::clamp(x, -1.0, 1e6); };
            const auto limit = static_cast<std::uint64_t>(std::clamp(
                std::min(std::ceil(bound(enter)), std::floor(bound(expire)) + 1), 0.0, 1e6));
            while (k < eventCount && static_cast<std::uint64_t>(events[k].position) < limit) {
                ++k;
            }
            if (k == eventCount) {
                break;
            }
        }
        table.examine(k);
        const double a = positionField(events[k].position);
        relevant.clear();
        while (windowEnd < byStart.size() && start(windowEnd) <= a) {
            ++windowEnd;
        }
        while (windowBegin < windowEnd && start(windowBegin) <= a - 192) {
            ++windowBegin;
        }
        for (size_t w = windowBegin; w < windowEnd; ++w) {
            relevant.push_back(byStart[w]);
        }
        while (sweepNext < byStart.size() && start(sweepNext) + 192 < a) {
            relevant.push_back(byStart[sweepNext++]);
        }
        if (relevant.empty()) {
            continue;
        }
        // In the order of the bar-length lines, as each event meets every line in turn.
        std::sort(relevant.begin(), relevant.end());
        relevant.erase(std::unique(relevant.begin(), relevant.end()), relevant.end());
        for (size_t i : relevant) {
            if (used[i]) {
                continue;
            }
            const auto b = static_cast<double>(barLengths[i].start);
            const double r = barLengths[i].ratio;
            if (a >= b && a < b + 192) {
                table.moveCurrent(roundTick(b + (a - b) * r));
            } else if (a > b + 192) {
                const auto value = static_cast<std::int32_t>(barEndRatios.size());
                barEndRatios.push_back(r);
                table.insert({roundTick(b + r * 192), value, kBarEndChannel});
                used[i] = true;
            }
        }
    }
    table.finish();
}

}  // namespace carvel
