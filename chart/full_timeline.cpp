#include "chart/full_timeline.h"

#include <algorithm>
#include <cmath>

namespace carvel {

namespace {

// Channels by their base-36 value.
constexpr int kBgm = 1;
constexpr int kMeasureLength = 2;
constexpr int kHexTempo = 3;
constexpr int kIndexedTempo = 8;
constexpr int kStop = 9;

int base36(char high, char low) {
    return (high - '0') * 36 + (low - '0');
}
bool inRange(int channel, char high, char firstLow, char lastLow) {
    return channel >= base36(high, firstLow) && channel <= base36(high, lastLow);
}
bool isKeyLane(int channel) {
    return inRange(channel, '1', '1', '9') || inRange(channel, '2', '1', '9');
}
bool isLongLane(int channel) {
    return inRange(channel, '5', '1', '9') || inRange(channel, '6', '1', '9');
}
bool isPicture(int channel) {
    return channel == 4 || channel == 6 || channel == 7;
}
bool isTiming(int channel) {
    return channel == kHexTempo || channel == kIndexedTempo || channel == kStop;
}

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

// A position within a measure: i / n of its length, n >= 1.
struct Fraction {
    std::int64_t i = 0;
    std::int64_t n = 1;
};
bool operator<(const Fraction& a, const Fraction& b) {
    return a.i * b.n < b.i * a.n;
}
bool operator==(const Fraction& a, const Fraction& b) {
    return a.i * b.n == b.i * a.n;
}

// A tempo change or a stop of one measure.
struct Change {
    Fraction at;
    int rank = 0;  // 0: channel 03, 1: channel 08, 2: stop; a later rank wins at one position
    int line = 0;  // the line's index: the later line wins
    long double value = 0;  // beats per minute, or 192ths of a 4-beat measure
};

// Where the timing changes within a measure: from `at` on, the time runs at msPerMeasure for the
// whole measure, after a stop of stopMs at `at` itself.
struct Point {
    Fraction at;
    Sum time;  // when `at` is reached, before its stop
    long double stopMs = 0;
    long double msPerMeasure = 0;
};

// The order of Chart::timedEvents (a type of its own, so that the sort inlines it).
struct Earlier {
    bool operator()(const TimedEvent& a, const TimedEvent& b) const {
        if (a.timeMs != b.timeMs) {
            return a.timeMs < b.timeMs;
        }
        return a.channel != b.channel ? a.channel < b.channel : a.value < b.value;
    }
};

struct LongNote {
    double time;
    int channel;
    int value;
};

class Timeline {
  public:
    Timeline(const std::vector<ChannelLine>& lines, const FullDefinitions& definitions)
        : lines_(lines), defs_(definitions) {}

    std::vector<TimedEvent> place(ReadProgress* progress);

  private:
    void placeMeasure(int measure, const std::vector<int>& lineIndexes);
    void readChanges(const std::vector<int>& lineIndexes);
    void buildPoints(long double beats);
    void placeLine(const ChannelLine& line);
    void placeLongNotes();
    void add(long double time, int channel, int value);

    const std::vector<ChannelLine>& lines_;
    const FullDefinitions& defs_;
    std::vector<TimedEvent> events_;
    Sum measureStart_;
    long double bpm_ = 130;
    std::vector<Change> changes_;
    std::vector<Point> points_;
    std::vector<LongNote> longNotes_;
    std::array<bool, 36 * 36> longNoteOpen_{};
};

std::vector<TimedEvent> Timeline::place(ReadProgress* progress) {
    // The lines of each measure, in file order (a counting sort by measure).
    std::vector<int> count(kMeasureCount + 1);
    for (const ChannelLine& line : lines_) {
        ++count[static_cast<size_t>(line.measure) + 1];
    }
    for (int m = 0; m < kMeasureCount; ++m) {
        count[static_cast<size_t>(m) + 1] += count[static_cast<size_t>(m)];
    }
    std::vector<int> order(lines_.size());
    std::vector<int> next(count.begin(), count.end() - 1);
    for (size_t i = 0; i < lines_.size(); ++i) {
        order[static_cast<size_t>(next[static_cast<size_t>(lines_[i].measure)]++)] =
            static_cast<int>(i);
    }
    bpm_ = defs_.startBpm;
    std::vector<int> measureLines;
    for (int m = 0; m < kMeasureCount; ++m) {
        measureLines.assign(order.begin() + count[static_cast<size_t>(m)],
                            order.begin() + count[static_cast<size_t>(m) + 1]);
        const size_t before = events_.size();
        placeMeasure(m, measureLines);
        if (progress != nullptr && events_.size() != before) {
            progress->eventCountChanged(static_cast<qsizetype>(events_.size()));
        }
    }
    // Each measure was sorted on its own; times only grow from one measure to the next, unless
    // two of them round to one double.
    if (!std::is_sorted(events_.begin(), events_.end(), Earlier())) {
        std::sort(events_.begin(), events_.end(), Earlier());
    }
    return std::move(events_);
}

void Timeline::placeMeasure(int measure, const std::vector<int>& lineIndexes) {
    const long double beats = defs_.measureBeats[static_cast<size_t>(measure)];
    readChanges(lineIndexes);
    buildPoints(beats);
    const size_t first = events_.size();
    longNotes_.clear();
    for (int index : lineIndexes) {
        const ChannelLine& line = lines_[static_cast<size_t>(index)];
        if (!isTiming(line.channel) && line.channel != kMeasureLength) {
            placeLine(line);
        }
    }
    placeLongNotes();
    std::sort(events_.begin() + static_cast<std::ptrdiff_t>(first), events_.end(), Earlier());
    const Point& last = points_.back();
    measureStart_ = last.time;
    measureStart_.add(last.stopMs);
    measureStart_.add(last.msPerMeasure * static_cast<long double>(last.at.n - last.at.i) /
                      static_cast<long double>(last.at.n));
}

void Timeline::readChanges(const std::vector<int>& lineIndexes) {
    changes_.clear();
    for (int index : lineIndexes) {
        const ChannelLine& line = lines_[static_cast<size_t>(index)];
        if (!isTiming(line.channel)) {
            continue;
        }
        const QStringView data = line.data;
        const qsizetype n = data.size() / 2;
        for (qsizetype k = 0; k < n; ++k) {
            const QChar high = data[2 * k];
            const QChar low = data[2 * k + 1];
            Change change{{k, n}, 0, index, 0};
            if (line.channel == kHexTempo) {
                change.value = hexPairValue(high, low);
            } else {
                const int i = indexValue(high, low, defs_.base);
                if (i <= 0) {
                    continue;
                }
                const auto slot = static_cast<size_t>(i);
                change.rank = line.channel == kIndexedTempo ? 1 : 2;
                change.value = line.channel == kIndexedTempo ? defs_.bpms[slot] : defs_.stops[slot];
            }
            if (change.value > 0) {
                changes_.push_back(change);
            }
        }
    }
    std::sort(changes_.begin(), changes_.end(), [](const Change& a, const Change& b) {
        if (!(a.at == b.at)) {
            return a.at < b.at;
        }
        return a.rank != b.rank ? a.rank < b.rank : a.line < b.line;
    });
}

void Timeline::buildPoints(long double beats) {
    points_.clear();
    Point start;
    start.time = measureStart_;
    start.msPerMeasure = beats * 60000 / bpm_;
    points_.push_back(start);
    for (size_t k = 0; k < changes_.size();) {
        const Fraction at = changes_[k].at;
        if (!(points_.back().at == at)) {
            const Point& before = points_.back();
            Point point;
            point.at = at;
            point.time = before.time;
            point.time.add(before.stopMs);
            // (at - before.at) of the measure, as one quotient of exact integers.
            point.time.add(before.msPerMeasure *
                           static_cast<long double>(at.i * before.at.n - before.at.i * at.n) /
                           static_cast<long double>(at.n * before.at.n));
            point.msPerMeasure = before.msPerMeasure;
            points_.push_back(point);
        }
        Point& point = points_.back();
        // The changes at one position come by rank, then line: the last tempo wins (08 over 03),
        // and the stops, which come after, run at that tempo.
        for (; k < changes_.size() && changes_[k].at == at; ++k) {
            const Change& change = changes_[k];
            if (change.rank < 2) {
                bpm_ = change.value;
                point.msPerMeasure = beats * 60000 / bpm_;
            } else {
                point.stopMs += change.value * 1250 / bpm_;
            }
        }
    }
}

void Timeline::placeLine(const ChannelLine& line) {
    const int channel = line.channel;
    const bool key = isKeyLane(channel);
    const bool longNote = isLongLane(channel);
    if (!key && !longNote && channel != kBgm && !isPicture(channel)) {
        return;
    }
    const QStringView data = line.data;
    const qsizetype n = data.size() / 2;
    size_t p = 0;
    for (qsizetype k = 0; k < n; ++k) {
        const int value = indexValue(data[2 * k], data[2 * k + 1], defs_.base);
        if (value <= 0 || (key && value == defs_.lnobj)) {
            continue;
        }
        const Fraction at{k, n};
        while (p + 1 < points_.size() && !(at < points_[p + 1].at)) {
            ++p;
        }
        const Point& point = points_[p];
        long double time = 0;
        if (point.at == at) {
            time = point.time.plus(0);  // a note at a stop sounds when the stop begins
        } else {
            time = point.time.plus(point.stopMs +
                                   point.msPerMeasure *
                                       static_cast<long double>(k * point.at.n - point.at.i * n) /
                                       static_cast<long double>(n * point.at.n));
        }
        if (longNote) {
            longNotes_.push_back({static_cast<double>(time), channel, value});
        } else {
            add(time, channel, value);
        }
    }
}

// The long-note pairs of each lane alternate start and end in time order, pairs at one time in
// file order; a note left open at a measure's end closes in a later one.
void Timeline::placeLongNotes() {
    std::stable_sort(longNotes_.begin(), longNotes_.end(),
                     [](const LongNote& a, const LongNote& b) {
                         return a.channel != b.channel ? a.channel < b.channel : a.time < b.time;
                     });
    for (const LongNote& note : longNotes_) {
        bool& open = longNoteOpen_[static_cast<size_t>(note.channel)];
        if (!open) {
            add(note.time, note.channel, note.value);
        }
        open = !open;
    }
}

void Timeline::add(long double time, int channel, int value) {
    const auto ms = static_cast<double>(time);
    if (std::isfinite(ms)) {
        events_.push_back({ms, static_cast<std::uint16_t>(channel), value});
    }
}

}  // namespace

std::vector<TimedEvent> placeEvents(const std::vector<ChannelLine>& lines,
                                    const FullDefinitions& definitions, ReadProgress* progress) {
    return Timeline(lines, definitions).place(progress);
}

}  // namespace carvel
