#include "chartview/chart_layout.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "chart/channels.h"
#include "chart/event.h"
#include "chart/full_timeline.h"
#include "chart/measure_time.h"

namespace carvel {

namespace {

using namespace channels;

// A key of a side: its channel's second character as a digit, 1-9 (6 is the scratch of a BMS
// text, 7 the free zone that no lane shows).
struct Key {
    int side = 0;
    int digit = 0;
};

std::optional<Key> fullKey(int channel) {
    const int high = channel / 36;
    const int digit = channel % 36;
    if (isKeyLane(channel)) {
        return Key{high, digit};
    }
    if (isLongLane(channel)) {
        return Key{high - 4, digit};
    }
    return std::nullopt;
}

// The classic reading numbers its channels in decimal: 11-16 and 21-26.
std::optional<Key> classicKey(int channel) {
    if ((channel >= 11 && channel <= 16) || (channel >= 21 && channel <= 26)) {
        return Key{channel / 10, channel % 10};
    }
    return std::nullopt;
}

// A time with the key it falls on.
struct KeyNote {
    double ms = 0;
    Key key;
};
struct KeyBar {
    NoteBar bar;
    Key key;
};

class Builder {
  public:
    explicit Builder(bool pms) : pms_(pms) {}

    void note(double ms, Key key) {
        if (std::isfinite(ms)) {
            notes_.push_back({ms, key});
        }
    }
    void background(double ms) {
        if (std::isfinite(ms)) {
            background_.push_back(ms);
        }
    }
    void bar(NoteBar bar, Key key) {
        if (std::isfinite(bar.startMs) && std::isfinite(bar.endMs)) {
            bars_.push_back({{bar.startMs, std::max(bar.startMs, bar.endMs)}, key});
        }
    }

    // The lanes of the mode that the notes call for, the notes on them.
    void build(ChartLayout& layout) const;

  private:
    // The column of a key among its side's lanes, -1 when the mode shows it nowhere.
    int column(Key key, const ChartLayout& layout) const;

    bool pms_;
    std::vector<KeyNote> notes_;
    std::vector<KeyBar> bars_;
    std::vector<double> background_;
};

int Builder::column(Key key, const ChartLayout& layout) const {
    if (pms_) {
        // 11-15 are buttons 1-5, 22-25 buttons 6-9.
        if (key.side == 1 && key.digit >= 1 && key.digit <= 5) {
            return key.digit - 1;
        }
        if (key.side == 2 && key.digit >= 2 && key.digit <= 5) {
            return key.digit + 3;
        }
        return -1;
    }
    if (key.side == 2 && !layout.doublePlay) {
        return -1;
    }
    int button = 0;  // 1-7, 0 for the scratch
    if (key.digit >= 1 && key.digit <= 5) {
        button = key.digit;
    } else if ((key.digit == 8 || key.digit == 9) && layout.keys == 7) {
        button = key.digit - 2;
    } else if (key.digit != 6) {
        return -1;
    }
    // 1P: the scratch left of its keys; 2P: right of them.
    if (key.side == 1) {
        return button;
    }
    return button == 0 ? layout.keys : button - 1;
}

void Builder::build(ChartLayout& layout) const {
    const auto seven = [](Key key) { return key.digit == 8 || key.digit == 9; };
    layout.keys = pms_ ? 9 : 5;
    layout.doublePlay = false;
    if (!pms_) {
        for (const KeyNote& n : notes_) {
            layout.keys = seven(n.key) ? 7 : layout.keys;
            layout.doublePlay = layout.doublePlay || n.key.side == 2;
        }
        for (const KeyBar& b : bars_) {
            layout.keys = seven(b.key) ? 7 : layout.keys;
            layout.doublePlay = layout.doublePlay || b.key.side == 2;
        }
    }
    layout.lanes.clear();
    layout.lanes.push_back({LaneKind::Background, 0, background_, {}, {}});
    const int perSide = pms_ ? 9 : layout.keys + 1;
    const int sides = layout.doublePlay ? 2 : 1;
    for (int side = 1; side <= sides; ++side) {
        for (int c = 0; c < perSide; ++c) {
            LaneKind kind = LaneKind::Scratch;
            if (pms_) {
                static constexpr LaneKind kPop[] = {
                    LaneKind::PopWhite, LaneKind::PopYellow, LaneKind::PopGreen,
                    LaneKind::PopBlue,  LaneKind::PopRed,    LaneKind::PopBlue,
                    LaneKind::PopGreen, LaneKind::PopYellow, LaneKind::PopWhite};
                kind = kPop[c];
            } else {
                const int button = side == 1 ? c : (c == layout.keys ? 0 : c + 1);
                kind = button == 0       ? LaneKind::Scratch
                       : button % 2 == 1 ? LaneKind::WhiteKey
                                         : LaneKind::BlackKey;
            }
            layout.lanes.push_back({kind, side, {}, {}, {}});
        }
    }
    const auto laneOf = [&](Key key) -> ChartLane* {
        const int c = column(key, layout);
        if (c < 0) {
            return nullptr;
        }
        // A .pms chart's buttons are one side of nine, whichever channels they come from.
        const int index = 1 + (pms_ ? 0 : (key.side - 1) * perSide) + c;
        return &layout.lanes[static_cast<size_t>(index)];
    };
    for (const KeyNote& n : notes_) {
        if (ChartLane* lane = laneOf(n.key)) {
            lane->notesMs.push_back(n.ms);
        }
    }
    for (const KeyBar& b : bars_) {
        if (ChartLane* lane = laneOf(b.key)) {
            lane->bars.push_back(b.bar);
        }
    }
    for (ChartLane& lane : layout.lanes) {
        std::sort(lane.notesMs.begin(), lane.notesMs.end());
        std::stable_sort(lane.bars.begin(), lane.bars.end(),
                         [](const NoteBar& a, const NoteBar& b) { return a.startMs < b.startMs; });
        lane.barReach.resize(lane.bars.size());
        double reach = -INFINITY;
        for (size_t i = 0; i < lane.bars.size(); ++i) {
            reach = std::max(reach, lane.bars[i].endMs);
            lane.barReach[i] = reach;
        }
    }
}

void layoutFull(const Timeline& timeline, Builder& builder, ChartLayout& layout) {
    for (const TimedEvent& e : timeline.events) {
        if (!std::isfinite(e.timeMs)) {
            continue;
        }
        layout.durationMs = std::max(layout.durationMs, static_cast<double>(e.timeMs));
        if (e.channel == kBgm) {
            builder.background(e.timeMs);
        } else if (const std::optional<Key> key = fullKey(e.channel)) {
            builder.note(e.timeMs, *key);
        }
    }
    for (const LongNote& n : timeline.longNotes) {
        if (const std::optional<Key> key = fullKey(n.channel)) {
            builder.bar({n.startMs, n.endMs}, *key);
            if (std::isfinite(n.endMs)) {
                layout.durationMs = std::max(layout.durationMs, n.endMs);
            }
        }
    }
    for (const TimingMark& m : timeline.timingMarks) {
        if (std::isfinite(m.timeMs)) {
            layout.marks.push_back(m);
        }
    }
    if (timeline.measures.empty()) {
        for (const double ms : timeline.barLinesMs) {
            if (std::isfinite(ms) && layout.measureLinesMs.size() < kMaxMeasureLines) {
                layout.measureLinesMs.push_back(ms);
            }
        }
        std::sort(layout.measureLinesMs.begin(), layout.measureLinesMs.end());
        return;
    }
    // Up to the line that ends the measure of the last event.
    for (int m = 0; m <= kMeasureCount; ++m) {
        const std::optional<double> ms = measureTimeMs(timeline, m);
        if (!ms) {
            break;
        }
        layout.measureLinesMs.push_back(*ms);
        if (*ms > layout.durationMs) {
            break;
        }
    }
}

// The classic playback's chart time is the tick time at the one tempo: 192 ticks to a measure.
void layoutClassic(const Chart& chart, Builder& builder, ChartLayout& layout) {
    const double msPerTick = 1250.0 / std::max(1, chart.bpm);
    for (const Event& e : chart.table().events) {
        if (e.channel == kBarEndChannel) {
            continue;
        }
        const double ms = positionField(e.position) * msPerTick;
        if (!std::isfinite(ms)) {
            continue;
        }
        layout.durationMs = std::max(layout.durationMs, ms);
        if (e.channel == kBgm) {
            builder.background(ms);
        } else if (const std::optional<Key> key = classicKey(e.channel)) {
            builder.note(ms, *key);
        }
    }
    const double measureMs = 192 * msPerTick;
    const double lastMeasure = std::floor(layout.durationMs / measureMs);
    const std::size_t count = lastMeasure + 2 < static_cast<double>(kMaxMeasureLines)
                                  ? static_cast<std::size_t>(lastMeasure) + 2
                                  : kMaxMeasureLines;
    layout.measureLinesMs.reserve(count);
    for (std::size_t m = 0; m < count; ++m) {
        layout.measureLinesMs.push_back(static_cast<double>(m) * measureMs);
    }
}

}  // namespace

int ChartLayout::measureAt(double ms) const {
    if (std::isnan(ms)) {
        return 0;
    }
    const auto after = std::upper_bound(measureLinesMs.begin(), measureLinesMs.end(), ms);
    return after == measureLinesMs.begin() ? 0
                                           : static_cast<int>(after - measureLinesMs.begin()) - 1;
}

ChartLayout layoutChart(const Chart& chart, bool pms) {
    ChartLayout layout;
    Builder builder(pms);
    if (chart.mode() == ReadingMode::Full) {
        layoutFull(chart.timeline(), builder, layout);
    } else {
        layoutClassic(chart, builder, layout);
    }
    builder.build(layout);
    return layout;
}

bool isPmsPath(const QString& path) {
    return path.endsWith(u".pms", Qt::CaseInsensitive);
}

}  // namespace carvel
