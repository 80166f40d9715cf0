#include <gtest/gtest.h>

#include "testing/qt_printers.h"

#include <cmath>
#include <limits>

#include "chartview/lane_mixer.h"
#include "chartview/loop_marks.h"
#include "chartview/position_text.h"

namespace carvel {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(PositionText, Table) {
    struct Case {
        double now, length;
        int measure;
        QString text;
    };
    const Case cases[] = {
        {0, 0, 0, u"0:00 / 0:00  小節 000"_qs},
        {83000, 125000, 32, u"1:23 / 2:05  小節 032"_qs},
        {59999, 3600000, 7, u"0:59 / 60:00  小節 007"_qs},  // seconds are cut, not rounded
        {-5, kNaN, -1, u"0:00 / 0:00  小節 000"_qs},
        {1000, 2000, 1234, u"0:01 / 0:02  小節 1234"_qs},
        {kInf, 1e300, 0, u"16666666666:40 / 16666666666:40  小節 000"_qs},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(positionText(c.now, c.length, c.measure), c.text) << c.now;
    }
}

TEST(SnapToLine, Table) {
    const std::vector<double> lines = {0, 2000, 3000};
    const std::pair<double, double> cases[] = {{900, 0},     {1000, 0},    {1001, 2000}, {-50, 0},
                                               {2600, 3000}, {2500, 2000}, {9000, 3000}};
    for (const auto& [at, snapped] : cases) {
        EXPECT_EQ(snapToLine(at, lines), snapped) << at;
    }
    EXPECT_EQ(snapToLine(1234, {}), 1234);
}

TEST(LoopMarks, Sequences) {
    using Range = LoopMarks::Range;
    using Change = LoopMarks::Change;
    struct Step {
        char point;  // 'A' or 'B'
        double ms;
        Change change;
        std::optional<double> a, b;
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
    };
    const Case cases[] = {
        {"A then B sets the loop; marking again clears it and starts anew",
         {{'A', 1000, {}, 1000, {}},
          {'B', 3000, {false, Range{1000, 3000}}, 1000, 3000},
          {'A', 5000, {true, {}}, 5000, {}},
          {'B', 2000, {false, Range{2000, 5000}}, 5000, 2000}}},
        {"B first",
         {{'B', 4000, {}, {}, 4000}, {'A', 2000, {false, Range{2000, 4000}}, 2000, 4000}}},
        {"a point marked twice moves", {{'A', 1000, {}, 1000, {}}, {'A', 2000, {}, 2000, {}}}},
        {"points closer than the shortest loop: the later stands alone",
         {{'A', 1000, {}, 1000, {}}, {'B', 1005, {}, {}, 1005}}},
    };
    for (const Case& c : cases) {
        LoopMarks marks(10);
        for (const Step& s : c.steps) {
            const Change change = s.point == 'A' ? marks.markA(s.ms) : marks.markB(s.ms);
            EXPECT_EQ(change.clear, s.change.clear) << c.name << ' ' << s.point << s.ms;
            EXPECT_EQ(change.loop, s.change.loop) << c.name << ' ' << s.point << s.ms;
            EXPECT_EQ(marks.a(), s.a) << c.name << ' ' << s.point << s.ms;
            EXPECT_EQ(marks.b(), s.b) << c.name << ' ' << s.point << s.ms;
        }
    }
}

TEST(GainSteps, Table) {
    const std::pair<int, double> steps[] = {{kLowestGainStep, -kInf},
                                            {kLowestGainStep - 5, -kInf},
                                            {kLowestGainStep + 1, -39},
                                            {0, 0},
                                            {6, 6},
                                            {9, 6}};
    for (const auto& [step, db] : steps) {
        EXPECT_EQ(gainDbOfStep(step), db) << step;
    }
    const std::pair<double, int> gains[] = {{-kInf, kLowestGainStep},
                                            {kNaN, kLowestGainStep},
                                            {-100, kLowestGainStep},
                                            {-3.4, -3},
                                            {0, 0},
                                            {6, 6},
                                            {12, 6}};
    for (const auto& [db, step] : gains) {
        EXPECT_EQ(stepOfGainDb(db), step) << db;
    }
    EXPECT_EQ(gainText(-kInf), u"-∞ dB"_qs);
    EXPECT_EQ(gainText(-12), u"-12 dB"_qs);
    EXPECT_EQ(gainText(0), u"+0 dB"_qs);
}

}  // namespace
}  // namespace carvel
