#include <gtest/gtest.h>

#include "testing/qt_printers.h"

#include <QImage>
#include <cmath>
#include <limits>

#include "chart/bmson_reader.h"
#include "chart/chart_reader.h"
#include "chartview/chart_layout.h"
#include "chartview/lane_view.h"
#include "testing/application.h"

namespace carvel {
namespace {

using Strings = std::vector<std::string>;
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

Chart read(const QString& text, ReadingMode mode) {
    return readChartText(u"#BPM 120\n"_qs + text, u"/nonexistent/"_qs, nullptr, {mode, 7});
}

QString ms(double v) {
    return QString::number(v, 'g', 10);
}

// Each lane as its kind's letter (g background, S scratch, W/K white/black key, w y G b r the
// buttons of a .pms chart), then its notes and its long notes ("0-1000").
Strings lanes(const ChartLayout& layout) {
    static constexpr char kLetters[] = {'g', 'S', 'W', 'K', 'w', 'y', 'G', 'b', 'r'};
    Strings out;
    for (const ChartLane& lane : layout.lanes) {
        QString text = QString(QLatin1Char(kLetters[static_cast<int>(lane.kind)]));
        for (const double note : lane.notesMs) {
            text += u' ' + ms(note);
        }
        for (const NoteBar& bar : lane.bars) {
            text += u' ' + ms(bar.startMs) + u'-' + ms(bar.endMs);
        }
        out.push_back(text.toStdString());
    }
    return out;
}

// The kinds' letters alone, left to right.
std::string kinds(const ChartLayout& layout) {
    std::string out;
    for (const std::string& lane : lanes(layout)) {
        out += lane.front();
    }
    return out;
}

// At 120 BPM a measure lasts 2000 ms in both readings.
TEST(ChartLayout, LanesOfEachMode) {
    struct Case {
        const char* name;
        QString text;
        ReadingMode mode;
        bool pms;
        int keys;
        bool doublePlay;
        std::string kinds;
    };
    const Case cases[] = {
        {"5 keys", u"#00111:01\n#00116:01\n"_qs, ReadingMode::Full, false, 5, false, "gSWKWKW"},
        {"7 keys from 18 or 19", u"#00119:01\n"_qs, ReadingMode::Full, false, 7, false,
         "gSWKWKWKW"},
        {"7 keys from a long note on 58", u"#00158:0101\n"_qs, ReadingMode::Full, false, 7, false,
         "gSWKWKWKW"},
        {"2P: scratch on the right", u"#00111:01\n#00221:01\n"_qs, ReadingMode::Full, false, 5,
         true, "gSWKWKWWKWKWS"},
        {"7 keys on both sides", u"#00128:01\n#00111:01\n"_qs, ReadingMode::Full, false, 7, true,
         "gSWKWKWKWWKWKWKWS"},
        {"a .pms chart: nine buttons on one side", u"#00111:01\n#00125:01\n"_qs, ReadingMode::Full,
         true, 9, false, "gwyGbrbGyw"},
        {"classic: 5 keys", u"#00111:01\n"_qs, ReadingMode::Classic, false, 5, false, "gSWKWKW"},
        {"classic: 2P", u"#00126:01\n"_qs, ReadingMode::Classic, false, 5, true, "gSWKWKWWKWKWS"},
        {"classic .pms", u"#00122:01\n"_qs, ReadingMode::Classic, true, 9, false, "gwyGbrbGyw"},
        {"no notes at all", QString(), ReadingMode::Full, false, 5, false, "gSWKWKW"},
    };
    for (const Case& c : cases) {
        const ChartLayout layout = layoutChart(read(c.text, c.mode), c.pms);
        EXPECT_EQ(layout.keys, c.keys) << c.name;
        EXPECT_EQ(layout.doublePlay, c.doublePlay) << c.name;
        EXPECT_EQ(kinds(layout), c.kinds) << c.name;
    }
}

TEST(ChartLayout, NotesAndLongNotesOnTheirLanes) {
    struct Case {
        const char* name;
        QString text;
        ReadingMode mode;
        bool pms;
        Strings lanes;
    };
    const Case cases[] = {
        {"each channel on its lane; background sounds in their column; pictures and 17 nowhere",
         u"#00016:01\n#00011:0001\n#00019:00000001\n#00001:0101\n#00004:01\n#00017:01\n"_qs,
         ReadingMode::Full,
         false,
         {"g 0 1000", "S 0", "W 1000", "K", "W", "K", "W", "K", "W 1500"}},
        {"#LNOBJ: the note before it is the start",
         u"#LNOBJ ZZ\n#00012:01ZZ\n"_qs,
         ReadingMode::Full,
         false,
         {"g", "S", "W", "K 0 0-1000", "W", "K", "W"}},
        {"classic: tick times at the one tempo, decimal channels",
         u"#00011:0001\n#00201:01\n"_qs,
         ReadingMode::Classic,
         false,
         {"g 4000", "S", "W 1000", "K", "W", "K", "W"}},
        {"a .pms chart: 11-15 and 22-25",
         u"#00015:01\n#00022:01\n#00025:01\n#00021:01\n"_qs,
         ReadingMode::Full,
         true,
         {"g", "w", "y", "G", "b", "r 0", "b 0", "G", "y", "w 0"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(lanes(layoutChart(read(c.text, c.mode), c.pms)), c.lanes) << c.name;
    }
}

TEST(ChartLayout, LongNotesOfFullChartsAndBmson) {
    const ChartLayout bms =
        layoutChart(read(u"#00051:01000100\n#00156:0101\n"_qs, ReadingMode::Full), false);
    EXPECT_EQ(lanes(bms), (Strings{"g", "S 2000 2000-3000", "W 0 0-1000", "K", "W", "K", "W"}));
    const ChartLayout bmson =
        layoutChart(readBmson(R"({"info":{"init_bpm":120},"lines":[{"y":0},{"y":960}],
             "sound_channels":[{"name":"a.wav","notes":[{"x":8,"y":0,"l":480},{"x":6,"y":240},
             {"x":0,"y":0}]}]})",
                              u"/nonexistent/"_qs),
                    false);
    EXPECT_EQ(lanes(bmson), (Strings{"g 0", "S 0 0-1000", "W", "K", "W", "K", "W", "K 500", "W"}));
    EXPECT_EQ(bmson.measureLinesMs, (std::vector<double>{0, 2000}));
    EXPECT_EQ(bmson.durationMs, 1000);
}

TEST(ChartLayout, MeasureLinesMarksAndDuration) {
    struct Case {
        const char* name;
        QString text;
        ReadingMode mode;
        std::vector<double> lines;
        double durationMs;
    };
    const Case cases[] = {
        {"full: through bar lengths, to the line after the last event",
         u"#00102:0.5\n#00211:01\n"_qs,
         ReadingMode::Full,
         {0, 2000, 3000, 5000},
         3000},
        {"full: a tempo change halves measure 1",
         u"#00103:F0\n#00111:01\n"_qs,
         ReadingMode::Full,
         {0, 2000, 3000},
         2000},
        {"full, no events: the first two lines", QString(), ReadingMode::Full, {0, 2000}, 0},
        {"classic: every 192 ticks, bar lengths not applied",
         u"#00102:0.5\n#00211:01\n"_qs,
         ReadingMode::Classic,
         {0, 2000, 4000, 6000},
         4000},
        {"classic, pictures count for the length",
         u"#00304:01\n"_qs,
         ReadingMode::Classic,
         {0, 2000, 4000, 6000, 8000},
         6000},
    };
    for (const Case& c : cases) {
        const ChartLayout layout = layoutChart(read(c.text, c.mode), false);
        EXPECT_EQ(layout.measureLinesMs, c.lines) << c.name;
        EXPECT_EQ(layout.durationMs, c.durationMs) << c.name;
    }

    const ChartLayout marked = layoutChart(
        read(u"#STOP01 96\n#00103:00F0\n#00209:01\n#00311:01\n"_qs, ReadingMode::Full), false);
    ASSERT_EQ(marked.marks.size(), 2u);
    EXPECT_EQ(marked.marks[0].timeMs, 3000);
    EXPECT_EQ(marked.marks[0].bpm, 240);
    EXPECT_EQ(marked.marks[1].timeMs, 3500);
    EXPECT_EQ(marked.marks[1].stopMs, 500);

    const std::pair<double, int> measures[] = {{-10, 0},  {0, 0},    {1999.9, 0}, {2000, 1},
                                               {4999, 2}, {5000, 3}, {1e300, 3},  {kNaN, 0}};
    const ChartLayout layout =
        layoutChart(read(u"#00102:0.5\n#00211:01\n"_qs, ReadingMode::Full), false);
    for (const auto& [at, measure] : measures) {
        EXPECT_EQ(layout.measureAt(at), measure) << at;
    }
}

// Times no chart file gives but the view must survive: not numbers, infinite, far away,
// and a million notes on one row.
TEST(ChartLayout, BadTimesNeitherCrashNorHang) {
    testing::ensureApplication();
    Chart chart;
    chart.setMode(ReadingMode::Full);
    Timeline& t = chart.timeline();
    const std::uint16_t key = 37;  // "11"
    for (const double ms : {kNaN, kInf, -kInf, 1e300, -1e300, 5.0}) {
        t.events.push_back({ms, key, 1});
    }
    t.events.resize(t.events.size() + 1000000, TimedEvent{7.0, key, 1});
    t.longNotes = {{kNaN, 10, 181}, {0, kInf, 181}, {-1e300, 1e300, 181}, {3, 1, 181}};
    t.timingMarks = {{kNaN, 120, 0}, {1e300, 0, 5}};
    t.barLinesMs = {kNaN, 0, 1e300};
    const ChartLayout layout = layoutChart(chart, false);
    EXPECT_EQ(layout.durationMs, 1e300);
    EXPECT_EQ(layout.lanes[2].notesMs.size(), 1000003u);
    EXPECT_EQ(layout.lanes[2].bars, (std::vector<NoteBar>{{-1e300, 1e300}, {3, 3}}));
    EXPECT_EQ(layout.measureLinesMs, (std::vector<double>{0, 1e300}));

    Chart classic;
    classic.table().events = {{std::int64_t{1} << 62, 1, 11}, {-5, 1, 1}};
    const ChartLayout far = layoutChart(classic, false);
    // The playback reads six digits of a position: the lines end there.
    EXPECT_EQ(far.measureLinesMs.size(), 2403u);
    EXPECT_EQ(far.lanes[0].notesMs.size(), 1u);

    for (const ChartLayout* l : {&layout, &far}) {
        LaneView view;
        view.resize(600, 400);
        view.setChartLayout(l);
        view.setLoop(-1e300, 1e300);
        for (const double at : {0.0, 7.0, kNaN, kInf, -kInf, 1e300, -1e300, 5e299}) {
            view.setPositionMs(at);
            QImage image(view.size(), QImage::Format_RGB32);
            view.render(&image);
        }
    }
}

// Notes fall towards the judgement line: a note's lower edge is at its time's row, a long note's
// bar spans its start to its end, and what lies above the top edge is not drawn.
TEST(LaneView, DrawsNotesAtTheirTimes) {
    testing::ensureApplication();
    const ChartLayout layout =
        layoutChart(read(u"#00011:0001\n#00056:0101\n#00211:01\n"_qs, ReadingMode::Full), false);
    LaneView view;
    view.resize(400, 300);
    view.setChartLayout(&layout);
    view.setVisibleSpanMs(2000);
    view.setPositionMs(500);
    QImage image(view.size(), QImage::Format_RGB32);
    view.render(&image);
    const int judgement = view.judgementY();
    const double perMs = judgement / 2000.0;
    const auto at = [&](std::size_t lane, double y) {
        return qGray(image.pixel(view.laneRect(lane).center().x(), static_cast<int>(y)));
    };
    EXPECT_EQ(view.yOf(500), judgement);
    EXPECT_EQ(view.timeAt(0), 500 + 2000);
    // Key 1 (lane 2): the note at 1000 ms, half a second above the line.
    const double note = judgement - 500 * perMs;
    EXPECT_GT(at(2, note - 1), 200);
    EXPECT_LT(at(2, note - 20), 40);
    EXPECT_LT(at(2, note + 10), 40);
    // The scratch (lane 1): a bar from 0 ms (below the line) to 1000 ms.
    EXPECT_GT(at(1, note + 20), 45);
    EXPECT_GT(at(1, judgement + 10), 45);
    EXPECT_LT(at(1, note - 20), 40);
    // The note at 4000 ms lies above the view: the top row is empty.
    EXPECT_LT(at(2, 0), 40);
    ASSERT_EQ(view.laneRect(layout.lanes.size()), QRect());
}

}  // namespace
}  // namespace carvel
