#include "chart/full_timeline.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numeric>

#include "chart/channels.h"
#include "platform/page_release.h"

namespace carvel {

namespace {

using namespace channels;

// A sum of long doubles that carries the rounding error of every addition (TwoSum), so that a
// time built from thousands of segments is as exact as one built from a few.
struct Sum {
    long double hi = 0;
    long double lo = 0;

    void add(long double x) {
        const long double s = hi + x;
        const long double b = s - hi;
        lo += (hi - (s - b)) + (x - b);
        hi = s;
    }
    long double plus(long double x) const { return hi + (lo + x); }
};

// The value that holds an #LNOBJ note's place among the gathered events (indexes are positive).
constexpr std::int32_t kLongNoteEnd = -1;

// Lines of more pairs are not read, so that positions fit two int32.
constexpr qsizetype kMaxPairs = qsizetype{1} << 30;

// A position within a measure: i / n of its length, 0 <= i <= n, 1 <= n < 2^30.
struct Fraction {
    std::int32_t i = 0;
    std::int32_t n = 1;
};
// Positions of one line share their n, which spares the products.
bool operator<(Fraction a, Fraction b) {
    return a.n == b.n ? a.i < b.i : std::int64_t{a.i} * b.n < std::int64_t{b.i} * a.n;
}
bool operator==(Fraction a, Fraction b) {
    return a.n == b.n ? a.i == b.i : std::int64_t{a.i} * b.n == std::int64_t{b.i} * a.n;
}
// (b - a) as a long double, from one quotient of exact integers.
long double distance(Fraction a, Fraction b) {
    return static_cast<long double>(std::int64_t{b.i} * a.n - std::int64_t{a.i} * b.n) /
           static_cast<long double>(std::int64_t{a.n} * b.n);
}

// A tempo change or a stop. At one position they apply by rank, then line: the last tempo wins
// (08 over 03), and the stops, which come after, run at that tempo.
struct Change {
    Fraction at;
    std::int32_t line = 0;
    std::uint16_t slot = 0;  // the hexadecimal tempo, or the #BPMxx / #STOPxx index
    std::uint8_t rank = 0;   // 0: channel 03, 1: channel 08, 2: channel 09
};

// While a measure is gathered, each of its sound and picture events holds its position in place of
// its time, until the sweep times it. The bits of two int32 of which the second is below 2^30 make
// a finite double, which copying never changes.
double packed(Fraction at) {
    return std::bit_cast<double>(at);
}
Fraction unpacked(double timeMs) {
    return std::bit_cast<Fraction>(timeMs);
}

// A pair of a measure placed on a common division, while it is ordered: its position's numerator
// in the high half, then value + 1 above the channel's 11 bits, so that records of one position
// and channel compare as their values.
std::uint64_t gridRecord(std::uint32_t i, int channel, std::int32_t value) {
    return std::uint64_t{i} << 32 | std::uint64_t{static_cast<std::uint32_t>(value + 1)} << 11 |
           static_cast<std::uint32_t>(channel);
}
std::uint32_t recordPosition(std::uint64_t r) {
    return static_cast<std::uint32_t>(r >> 32);
}
int recordChannel(std::uint64_t r) {
    return static_cast<int>(r & 0x7FF);
}
std::int32_t recordValue(std::uint64_t r) {
    return static_cast<std::int32_t>(r >> 11 & 0x1FFFFF) - 1;
}
// Position and channel.
std::uint64_t recordSlot(std::uint64_t r) {
    return r >> 32 << 11 | (r & 0x7FF);
}

// A gathered event as the sweep takes it.
struct Gathered {
    Fraction at;
    int channel = 0;
    std::int32_t value = 0;  // kLongNoteEnd for a key note of the #LNOBJ value
};

// The order of gathered events: position, channel, then value (for a long-note lane, its place in
// file order).
struct Sooner {
    bool operator()(const TimedEvent& a, const TimedEvent& b) const {
        const Fraction p = unpacked(a.timeMs);
        const Fraction q = unpacked(b.timeMs);
        if (!(p == q)) {
            return p < q;
        }
        return a.channel != b.channel ? a.channel < b.channel : a.value < b.value;
    }
};

// The order of a chart's Timeline (a type of its own, so that the sort inlines it).
struct Earlier {
    bool operator()(const TimedEvent& a, const TimedEvent& b) const {
        if (a.timeMs != b.timeMs) {
            return a.timeMs < b.timeMs;
        }
        return a.channel != b.channel ? a.channel < b.channel : a.value < b.value;
    }
};

// Merges the sorted runs of v that start at runs[0] < runs[1] < ... (the last one ending at v's
// end) pairwise into one sorted run. Stable: of equal elements, the earlier run's come first.
// scratch holds the left run of each merge.
template <typename T, typename Less>
void mergeRuns(std::vector<T>& v, std::vector<size_t>& runs, std::vector<T>& scratch, Less less) {
    runs.push_back(v.size());
    for (size_t width = 1; width + 1 < runs.size(); width *= 2) {
        for (size_t r = 0; r + width + 1 < runs.size(); r += 2 * width) {
            const size_t first = runs[r];
            const size_t middle = runs[r + width];
            const size_t last = runs[std::min(r + 2 * width, runs.size() - 1)];
            scratch.assign(v.begin() + static_cast<std::ptrdiff_t>(first),
                           v.begin() + static_cast<std::ptrdiff_t>(middle));
            // The output never overtakes the right run's next element.
            size_t left = 0;
            size_t right = middle;
            size_t out = first;
            // Chooses by index rather than by branch: which side comes next is a coin toss for
            // interleaved lines.
            while (left < scratch.size() && right < last) {
                const bool takeRight = less(v[right], scratch[left]);
                v[out++] = *(takeRight ? &v[right] : &scratch[left]);
                right += takeRight ? 1 : 0;
                left += takeRight ? 0 : 1;
            }
            while (left < scratch.size()) {
                v[out++] = scratch[left++];
            }
        }
    }
}

class Placement {
  public:
    Placement(const std::vector<ChannelLine>& lines, const FullDefinitions& definitions)
        : lines_(lines), defs_(definitions), bpm_(definitions.startBpm) {
        lastKeyNote_.fill(std::nan(""));
    }

    Timeline place(ReadProgress* progress, const std::function<void(size_t)>& linesDone);

  private:
    void placeMeasure(long double beats, const int* first, const int* last);
    void orderMeasure(std::vector<TimedEvent>::iterator measure);
    // A pair that stands after merging: its position (reduced), value and line.
    struct Pair {
        Fraction at;
        int value = 0;
        int line = 0;
    };

    // Leaves the measure's events in order in sortedRecords_ and returns their common division, or
    // leaves them in events_ after its first event and returns 0.
    std::uint32_t gather(const int* first, const int* last);
    // Positions i / division for all of a measure's played lines.
    struct Grid {
        std::uint64_t division = 0;  // 0: none fits
        size_t pairs = 0;
    };
    static constexpr std::uint64_t kMaxGridDivision = std::uint64_t{1} << 24;
    Grid commonGrid() const;
    void gatherOnGrid(Grid grid);
    // Calls visit(position, value) for each non-empty pair of the line, in order.
    template <typename Visit>
    void forEachPair(int index, Visit visit) const;
    void gatherLine(int index);
    void gatherMerged(size_t first, size_t last);
    void sortByPositionBuckets(size_t first);
    void add(int channel, Fraction at, int value, int line);
    // item(k) gives the k-th of `count` gathered events; emit(event) takes each timed one.
    template <typename Item, typename Emit>
    void sweep(size_t count, const Item& item, const Emit& emit, long double beats);
    void advanceTo(Fraction at, long double beats);
    // Notes where the sweep stands: at_ of measure_, reached at time_, then stopMs_.
    void anchor();
    void endLongNote(double startMs, double endMs, int channel);

    const std::vector<ChannelLine>& lines_;
    const FullDefinitions& defs_;
    std::vector<TimedEvent> events_;
    std::vector<MeasureAnchor> anchors_;
    int measure_ = 0;
    std::vector<Change> changes_;
    std::vector<std::int32_t> longNoteValues_;  // of the measure's long-note pairs, in file order
    std::vector<int> byChannel_;                // the measure's lines, by channel
    std::vector<Pair> merged_;                  // the pairs of one channel's lines
    std::vector<size_t> runs_;  // where each line's (or merged channel's) events start in events_
    std::vector<TimedEvent> eventScratch_;
    std::vector<std::uint32_t> positionKeys_;  // of the gathered events, for the counting sort
    std::vector<std::uint32_t> sortedKeys_;
    std::vector<std::uint32_t> positionCounts_;
    std::vector<std::uint64_t> gridRecords_;  // of the measure's pairs, for the common division
    std::vector<std::uint64_t> sortedRecords_;
    std::vector<size_t> pairRuns_;  // where each line's pairs start in merged_
    std::vector<Pair> pairScratch_;
    std::array<bool, 36 * 36> longNoteOpen_{};
    // For the view's long notes: where each long-note lane's open note began, and where each key
    // lane's last note stands (NaN: none yet), which an #LNOBJ note ends (other lanes' entries are
    // written and never read).
    std::array<double, 36 * 36> longNoteStart_{};
    std::array<double, 36 * 36> lastKeyNote_{};
    std::vector<LongNote> longNotes_;
    std::vector<TimingMark> marks_;

    // The sweep through a measure: at `at`, reached at `time`, a stop of stopMs begins; from
    // there on the measure runs at msPerMeasure.
    long double bpm_;
    Fraction at_;
    Sum time_;
    long double stopMs_ = 0;
    long double msPerMeasure_ = 0;
    size_t nextChange_ = 0;
    bool measuresInOrder_ = true;  // each measure's first event no earlier than the last before
};

Timeline Placement::place(ReadProgress* progress, const std::function<void(size_t)>& linesDone) {
    // The lines of each measure, in file order (a counting sort by measure).
    std::vector<int> start(kMeasureCount + 1);
    for (const ChannelLine& line : lines_) {
        ++start[static_cast<size_t>(line.measure) + 1];
    }
    for (size_t m = 0; m < kMeasureCount; ++m) {
        start[m + 1] += start[m];
    }
    // Each event takes two characters of a played channel's line.
    size_t pairs = 0;
    for (const ChannelLine& line : lines_) {
        pairs += isPlayed(line.channel) ? static_cast<size_t>(line.data.size() / 2) : 0;
    }
    events_.reserve(pairs);
    adviseLargePages(events_.data(), events_.capacity() * sizeof(TimedEvent));
    std::vector<int> order(lines_.size());
    std::vector<int> next(start.begin(), start.end() - 1);
    for (size_t i = 0; i < lines_.size(); ++i) {
        order[static_cast<size_t>(next[static_cast<size_t>(lines_[i].measure)]++)] =
            static_cast<int>(i);
    }
    // The first line in file order of the measures after each one (the lines' count when none):
    // once a measure is placed, the lines before it are not read again.
    std::vector<size_t> firstAfter(kMeasureCount, lines_.size());
    for (size_t k = kMeasureCount - 1; k > 0; --k) {
        firstAfter[k - 1] =
            start[k] < start[k + 1]
                ? std::min(firstAfter[k], static_cast<size_t>(order[static_cast<size_t>(start[k])]))
                : firstAfter[k];
    }
    // Measures after the last one with lines hold nothing to place; they only go on at the last
    // tempo.
    size_t m = 0;
    for (; m < kMeasureCount && static_cast<size_t>(start[m]) < lines_.size(); ++m) {
        measure_ = static_cast<int>(m);
        const size_t before = events_.size();
        placeMeasure(defs_.measureBeats[m], order.data() + start[m], order.data() + start[m + 1]);
        if (progress != nullptr && events_.size() != before) {
            progress->eventCountChanged(static_cast<qsizetype>(events_.size()));
        }
        if (linesDone) {
            linesDone(firstAfter[m]);
        }
    }
    for (; m < kMeasureCount; ++m) {
        measure_ = static_cast<int>(m);
        at_ = Fraction();
        stopMs_ = 0;
        msPerMeasure_ = defs_.measureBeats[m] * 60000 / bpm_;
        anchor();
        time_.add(msPerMeasure_);
    }
    measure_ = kMeasureCount;
    at_ = Fraction();
    stopMs_ = 0;
    anchor();
    // Times only grow from one measure to the next, unless two of them round to one double.
    if (!measuresInOrder_) {
        std::sort(events_.begin(), events_.end(), Earlier());
    }
    std::stable_sort(longNotes_.begin(), longNotes_.end(),
                     [](const LongNote& a, const LongNote& b) { return a.startMs < b.startMs; });
    return Timeline{
        std::move(events_), std::move(anchors_), std::move(longNotes_), std::move(marks_), {}};
}

void Placement::placeMeasure(long double beats, const int* first, const int* last) {
    const size_t firstEvent = events_.size();
    size_t kept = firstEvent;
    if (const auto division = static_cast<std::int32_t>(gather(first, last)); division != 0) {
        events_.resize(firstEvent + sortedRecords_.size());
        sweep(
            sortedRecords_.size(),
            [&](size_t k) {
                const std::uint64_t r = sortedRecords_[k];
                return Gathered{{static_cast<std::int32_t>(recordPosition(r)), division},
                                recordChannel(r),
                                recordValue(r)};
            },
            [&](const TimedEvent& timed) { events_[kept++] = timed; }, beats);
    } else {
        // In place: the k-th event is read before any write, and writes go no further than k.
        sweep(
            events_.size() - firstEvent,
            [&](size_t k) {
                const TimedEvent e = events_[firstEvent + k];
                const int channel = e.channel;
                const std::int32_t value = e.value;
                return Gathered{
                    unpacked(e.timeMs), channel,
                    isLongLane(channel) ? longNoteValues_[static_cast<size_t>(value)] : value};
            },
            [&](const TimedEvent& timed) { events_[kept++] = timed; }, beats);
    }
    events_.resize(kept);
    orderMeasure(events_.begin() + static_cast<std::ptrdiff_t>(firstEvent));
    if (firstEvent != 0 && firstEvent != events_.size() &&
        Earlier()(events_[firstEvent], events_[firstEvent - 1])) {
        measuresInOrder_ = false;
    }
}

// Puts the events from `measure` on, which come by position, in Earlier's order. Times do not fall
// with position, so only events of one time may be out of order: stacked background pairs and one
// lane's long-note starts came in file order, not by value, and events at positions a rounding
// apart by position, not channel. Each such run is sorted; should a time fall, all of them are.
void Placement::orderMeasure(std::vector<TimedEvent>::iterator measure) {
    const auto end = events_.end();
    for (auto k = measure; (k = std::is_sorted_until(k, end, Earlier())) != end;) {
        const double time = k->timeMs;
        if ((k - 1)->timeMs != time) {
            std::sort(measure, end, Earlier());
            return;
        }
        auto first = k - 1;
        while (first != measure && (first - 1)->timeMs == time) {
            --first;
        }
        while (k != end && k->timeMs == time) {
            ++k;
        }
        std::sort(first, k, Earlier());
        --k;
    }
}

// Times the measure's gathered events in order, dropping long-note ends, #LNOBJ notes and events
// whose time does not fit a double; the long notes they end go to longNotes_.
template <typename Item, typename Emit>
void Placement::sweep(size_t count, const Item& item, const Emit& emit, long double beats) {
    at_ = Fraction();
    stopMs_ = 0;
    msPerMeasure_ = beats * 60000 / bpm_;
    nextChange_ = 0;
    anchor();
    // Events at one position (they come together) share its time: nothing moves the sweep between
    // them.
    Fraction last{-1, 1};
    double timeMs = 0;
    for (size_t k = 0; k < count; ++k) {
        const Gathered event = item(k);
        const int channel = event.channel;
        const Fraction at = event.at;
        if (!(at == last)) {
            advanceTo(at, beats);
            // A note at a stop sounds when the stop begins.
            const long double time =
                at == at_ ? time_.plus(0) : time_.plus(stopMs_ + msPerMeasure_ * distance(at_, at));
            timeMs = static_cast<double>(time);
            last = at;
        }
        const auto lane = static_cast<size_t>(channel);
        if (isLongLane(channel)) {
            // Per lane, pairs alternate start and end in time order, pairs at one time in file
            // order; a note left open at a measure's end closes in a later one.
            bool& open = longNoteOpen_[lane];
            open = !open;
            if (!open) {
                endLongNote(longNoteStart_[lane], timeMs, channel);
                continue;
            }
            longNoteStart_[lane] = timeMs;
        } else if (event.value == kLongNoteEnd) {  // only a key lane's
            endLongNote(lastKeyNote_[lane], timeMs, channel);
            lastKeyNote_[lane] = std::nan("");
            continue;
        } else {
            // Kept for every channel, which spares a branch on the mix of lanes: only a key lane's
            // is read.
            lastKeyNote_[lane] = timeMs;
        }
        if (std::isfinite(timeMs)) {
            emit(makeTimedEvent(timeMs, channel, event.value));
        }
    }
    const Fraction end{1, 1};
    advanceTo(end, beats);
    time_.add(stopMs_);
    time_.add(msPerMeasure_ * distance(at_, end));
}

// Appends the measure's sound and picture events, holding their positions (or, on a common
// division, leaves them in sortedRecords_), and collects its changes, each in the order they apply.
// Several lines of one channel in one measure merge: at each position the last non-empty pair in
// file order stands (1/2 and 2/4 are one position). Background sounds (01) are the exception: their
// lines stack.
std::uint32_t Placement::gather(const int* first, const int* last) {
    changes_.clear();
    longNoteValues_.clear();
    runs_.clear();
    const size_t firstEvent = events_.size();
    // The measure's lines by channel, each channel's in file order.
    byChannel_.assign(first, last);
    std::stable_sort(byChannel_.begin(), byChannel_.end(), [this](int a, int b) {
        return lines_[static_cast<size_t>(a)].channel < lines_[static_cast<size_t>(b)].channel;
    });
    const Grid grid = commonGrid();
    for (size_t g = 0; g < byChannel_.size();) {
        const int channel = lines_[static_cast<size_t>(byChannel_[g])].channel;
        size_t end = g + 1;
        while (end < byChannel_.size() &&
               lines_[static_cast<size_t>(byChannel_[end])].channel == channel) {
            ++end;
        }
        if (isTiming(channel) || (isPlayed(channel) && grid.division == 0)) {
            if (end - g == 1 || channel == kBgm) {
                for (size_t l = g; l < end; ++l) {
                    runs_.push_back(events_.size());
                    gatherLine(byChannel_[l]);
                }
            } else {
                runs_.push_back(events_.size());
                gatherMerged(g, end);
            }
        }
        g = end;
    }
    const auto applies = [](const Change& a, const Change& b) {
        if (!(a.at == b.at)) {
            return a.at < b.at;
        }
        return a.rank != b.rank ? a.rank < b.rank : a.line < b.line;
    };
    if (!std::is_sorted(changes_.begin(), changes_.end(), applies)) {
        std::sort(changes_.begin(), changes_.end(), applies);
    }
    if (grid.division != 0) {
        gatherOnGrid(grid);
        return static_cast<std::uint32_t>(grid.division);
    }
    // Each run is in order already: merging them pairwise gives what one sort would (events that
    // compare equal time and print alike).
    if (!std::is_sorted(events_.begin() + static_cast<std::ptrdiff_t>(firstEvent), events_.end(),
                        Sooner())) {
        // Merging takes a comparison of fractions per event and level, and mispredicts half of
        // them; counting pays for its buckets once the measure holds some events.
        if (events_.size() - firstEvent < 64) {
            mergeRuns(events_, runs_, eventScratch_, Sooner());
        } else {
            sortByPositionBuckets(firstEvent);
        }
    }
    return 0;
}

// Sorts the gathered events from `first` on into Sooner's order: a counting sort by position into
// a power of two of buckets (the quotient i / n in doubles, scaled), then a sort of each bucket
// that is not in order. The quotient rounds monotonically, so buckets keep the positions' order;
// one bucket may hold positions that differ by less than a bucket, or rounded to one quotient. The
// counting keeps the runs' order, in which one position's events come in order but for stacked
// background lines; each bucket is checked.
void Placement::sortByPositionBuckets(size_t first) {
    const size_t count = events_.size() - first;
    constexpr size_t kMaxBuckets = size_t{1} << 20;
    size_t buckets = 256;
    while (buckets < count && buckets < kMaxBuckets) {
        buckets *= 2;
    }
    const auto scale = static_cast<double>(buckets);
    positionKeys_.resize(count);
    positionCounts_.assign(buckets + 2, 0);
    for (size_t k = 0; k < count; ++k) {
        const Fraction at = unpacked(events_[first + k].timeMs);
        // At most `buckets`, for i = n.
        const auto key = static_cast<std::uint32_t>(static_cast<double>(at.i) /
                                                    static_cast<double>(at.n) * scale);
        positionKeys_[k] = key;
        ++positionCounts_[key + 1];
    }
    std::partial_sum(positionCounts_.begin(), positionCounts_.end(), positionCounts_.begin());
    eventScratch_.resize(count);
    sortedKeys_.resize(count);
    for (size_t k = 0; k < count; ++k) {
        const std::uint32_t place = positionCounts_[positionKeys_[k]]++;
        eventScratch_[place] = events_[first + k];
        sortedKeys_[place] = positionKeys_[k];
    }
    const auto out = events_.begin() + static_cast<std::ptrdiff_t>(first);
    std::copy(eventScratch_.begin(), eventScratch_.end(), out);
    for (size_t g = 0; g < count;) {
        size_t end = g + 1;
        while (end < count && sortedKeys_[end] == sortedKeys_[g]) {
            ++end;
        }
        const auto from = out + static_cast<std::ptrdiff_t>(g);
        const auto to = out + static_cast<std::ptrdiff_t>(end);
        if (end - g > 1 && !std::is_sorted(from, to, Sooner())) {
            std::sort(from, to, Sooner());
        }
        g = end;
    }
}

// The least common multiple of the divisions of the measure's played lines, when positions on it
// fit and the measure's long-note pairs cannot outnumber what an event's value counts (division 0
// otherwise), and the number of their pairs.
Placement::Grid Placement::commonGrid() const {
    Grid grid{1, 0};
    for (const int index : byChannel_) {
        const ChannelLine& line = lines_[static_cast<size_t>(index)];
        const size_t n = line.data.size() / 2;
        if (!isPlayed(line.channel) || n == 0 || n >= size_t{kMaxPairs}) {
            continue;  // no pair of it is placed
        }
        grid.pairs += n;
        grid.division = std::lcm(grid.division, std::uint64_t{n});
        if (grid.division > kMaxGridDivision) {
            return {};
        }
    }
    if (grid.pairs >= static_cast<size_t>(kMaxTimedValue)) {
        return {};
    }
    return grid;
}

// Gathers the measure's played lines at positions i / division into sortedRecords_, in the order
// the sweep takes them. The lines come by channel and each channel's in file order, so a stable
// counting sort by position leaves the channels in order at each position and one channel's pairs
// in file order. Of those the last stands (the stacking background's all stand, in file order),
// as where lines merge by position. A bucket holds 2^shift positions, no more buckets than pairs.
void Placement::gatherOnGrid(Grid grid) {
    const auto division = static_cast<std::uint32_t>(grid.division);
    int shift = 0;
    while ((division >> shift) > grid.pairs) {
        ++shift;
    }
    positionCounts_.assign(size_t{division >> shift} + 2, 0);
    gridRecords_.clear();
    bool stacked = false;  // some channel but the background has two lines
    int lastChannel = -1;
    for (const int index : byChannel_) {
        const int channel = lines_[static_cast<size_t>(index)].channel;
        if (!isPlayed(channel)) {
            continue;
        }
        stacked = stacked || (channel == lastChannel && channel != kBgm);
        lastChannel = channel;
        const bool keyLane = isKeyLane(channel);
        // forEachPair gives positions k / n, n the line's pair count, which divides `division`.
        const size_t n = lines_[static_cast<size_t>(index)].data.size() / 2;
        const auto step = static_cast<std::uint32_t>(n != 0 ? division / n : 0);
        forEachPair(index, [&](Fraction at, int value) {
            const std::uint32_t i = static_cast<std::uint32_t>(at.i) * step;
            gridRecords_.push_back(
                gridRecord(i, channel, keyLane && value == defs_.lnobj ? kLongNoteEnd : value));
            ++positionCounts_[(i >> shift) + 1];
        });
    }
    std::partial_sum(positionCounts_.begin(), positionCounts_.end(), positionCounts_.begin());
    const size_t count = gridRecords_.size();
    std::vector<std::uint64_t>& sorted = sortedRecords_;
    sorted.resize(count);
    for (const std::uint64_t r : gridRecords_) {
        sorted[positionCounts_[recordPosition(r) >> shift]++] = r;
    }
    // A bucket of several positions holds each line's records in order, not the lines'. Bucket b
    // now ends where b + 1 begins.
    for (size_t k = 1; shift != 0 && k < count; ++k) {
        if (recordPosition(sorted[k]) < recordPosition(sorted[k - 1])) {
            const size_t bucket = recordPosition(sorted[k]) >> shift;
            const auto begin = sorted.begin() + (bucket == 0 ? 0 : positionCounts_[bucket - 1]);
            const auto end = sorted.begin() + positionCounts_[bucket];
            std::stable_sort(begin, end, [](std::uint64_t x, std::uint64_t y) {
                return recordPosition(x) < recordPosition(y);
            });
            k = static_cast<size_t>(end - sorted.begin()) - 1;
        }
    }
    size_t kept = count;
    if (stacked) {
        kept = 0;
        for (size_t k = 0; k < count; ++k) {
            const std::uint64_t r = sorted[k];
            const bool replaced = k + 1 < count && recordSlot(sorted[k + 1]) == recordSlot(r);
            sorted[kept] = r;
            kept += static_cast<size_t>(!replaced || recordChannel(r) == kBgm);
        }
    }
    sorted.resize(kept);
}

template <typename Visit>
void Placement::forEachPair(int index, Visit visit) const {
    const ChannelLine& line = lines_[static_cast<size_t>(index)];
    const std::string_view data = line.data;
    if (data.size() / 2 >= size_t{kMaxPairs}) {
        return;  // far beyond any chart file that is read
    }
    const auto n = static_cast<std::int32_t>(data.size() / 2);
    // A pair's value: a hexadecimal tempo on 03, an index elsewhere; 0 or below for an empty pair
    // ("00", or characters outside the alphabet), which neither plays nor replaces.
    const bool hex = line.channel == kHexTempo;
    const DigitTable& digits = hex ? hexDigits() : indexDigits(defs_.base);
    const int radix = hex ? 16 : defs_.base == IndexBase::Base62 ? 62 : 36;
    for (std::int32_t k = 0; k < n; ++k) {
        const auto high = static_cast<unsigned char>(data[2 * static_cast<size_t>(k)]);
        const auto low = static_cast<unsigned char>(data[2 * static_cast<size_t>(k) + 1]);
        if (high == '0' && low == '0') {
            continue;  // the empty pair, by far the most common
        }
        const int value = digitPair(digits, radix, high, low);
        if (value > 0) {
            visit(Fraction{k, n}, value);
        }
    }
}

void Placement::gatherLine(int index) {
    const int channel = lines_[static_cast<size_t>(index)].channel;
    forEachPair(index, [&](Fraction at, int value) { add(channel, at, value, index); });
}

// The lines byChannel_[first, last) of one channel, merged by position.
void Placement::gatherMerged(size_t first, size_t last) {
    merged_.clear();
    pairRuns_.clear();
    for (size_t l = first; l < last; ++l) {
        const int index = byChannel_[l];
        pairRuns_.push_back(merged_.size());
        forEachPair(index, [&](Fraction at, int value) { merged_.push_back({at, value, index}); });
    }
    // By position, and at one position in file order: the last one stands. Positions compare as
    // numbers (1/2 is 2/4), so they need no reducing.
    mergeRuns(merged_, pairRuns_, pairScratch_,
              [](const Pair& a, const Pair& b) { return a.at < b.at; });
    const int channel = lines_[static_cast<size_t>(byChannel_[first])].channel;
    for (size_t i = 0; i < merged_.size(); ++i) {
        if (i + 1 == merged_.size() || !(merged_[i].at == merged_[i + 1].at)) {
            add(channel, merged_[i].at, merged_[i].value, merged_[i].line);
        }
    }
}

// One pair that stands. Changes to an undefined or non-positive index are left out; a key note of
// the #LNOBJ value stays only as kLongNoteEnd, until the sweep has timed it.
void Placement::add(int channel, Fraction at, int value, int line) {
    if (channel == kHexTempo) {
        changes_.push_back({at, line, static_cast<std::uint16_t>(value), 0});
    } else if (channel == kIndexedTempo || channel == kStop) {
        const bool tempo = channel == kIndexedTempo;
        if (definedValue(tempo ? defs_.bpms : defs_.stops, static_cast<size_t>(value)) > 0) {
            changes_.push_back({at, line, static_cast<std::uint16_t>(value),
                                static_cast<std::uint8_t>(tempo ? 1 : 2)});
        }
    } else {
        std::int32_t stored = value;
        if (isLongLane(channel)) {
            // The pair's place stands in for its value until the sweep; a measure of more
            // long-note pairs than an event's value can count (lines of megabytes) drops the rest.
            if (longNoteValues_.size() >= static_cast<size_t>(kMaxTimedValue)) {
                return;
            }
            stored = static_cast<std::int32_t>(longNoteValues_.size());
            longNoteValues_.push_back(value);
        } else if (isKeyLane(channel) && value == defs_.lnobj) {
            stored = kLongNoteEnd;
        }
        const TimedEvent event = makeTimedEvent(packed(at), channel, stored);
        events_.insert(events_.end(), &event, &event + 1);
    }
}

// Moves the sweep over the changes at or before `at`.
void Placement::advanceTo(Fraction at, long double beats) {
    while (nextChange_ < changes_.size() && !(at < changes_[nextChange_].at)) {
        const Fraction position = changes_[nextChange_].at;
        if (!(position == at_)) {
            time_.add(stopMs_);
            time_.add(msPerMeasure_ * distance(at_, position));
            at_ = position;
            stopMs_ = 0;
        }
        bool tempo = false;
        for (; nextChange_ < changes_.size() && changes_[nextChange_].at == position;
             ++nextChange_) {
            const Change& change = changes_[nextChange_];
            if (change.rank == 0) {
                bpm_ = change.slot;
            } else if (change.rank == 1) {
                bpm_ = definedValue(defs_.bpms, change.slot);
            } else {
                stopMs_ += definedValue(defs_.stops, change.slot) * 1250 / bpm_;
            }
            if (change.rank < 2) {
                msPerMeasure_ = beats * 60000 / bpm_;
                tempo = true;
            }
        }
        anchor();
        const TimingMark mark{static_cast<double>(time_.plus(0)),
                              tempo ? static_cast<double>(bpm_) : 0, static_cast<double>(stopMs_)};
        if ((tempo || mark.stopMs > 0) && std::isfinite(mark.timeMs) && std::isfinite(mark.bpm) &&
            std::isfinite(mark.stopMs)) {
            marks_.push_back(mark);
        }
    }
}

void Placement::anchor() {
    anchors_.push_back({static_cast<double>(measure_) + static_cast<double>(at_.i) / at_.n,
                        static_cast<double>(time_.plus(0)), static_cast<double>(stopMs_),
                        static_cast<double>(msPerMeasure_)});
}

void Placement::endLongNote(double startMs, double endMs, int channel) {
    if (std::isfinite(startMs) && std::isfinite(endMs)) {
        longNotes_.push_back({startMs, endMs, static_cast<std::uint16_t>(channel)});
    }
}

}  // namespace

Timeline placeEvents(const std::vector<ChannelLine>& lines, const FullDefinitions& definitions,
                     ReadProgress* progress, const std::function<void(size_t)>& linesDone) {
    return Placement(lines, definitions).place(progress, linesDone);
}

}  // namespace carvel
