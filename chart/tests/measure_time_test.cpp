#include <gtest/gtest.h>

#include <optional>

#include "chart/full_reader.h"
#include "chart/measure_time.h"

namespace carvel {
namespace {

// At 120 BPM a measure of 4 beats lasts 2000 ms.
TEST(MeasureTime, MeasuresBecomeTimesThroughBarLengthsTemposAndStops) {
    struct Case {
        const char* text;
        double measure;
        std::optional<double> ms;
    };
    const char* plain = "#BPM 120\n#00211:01\n";
    const char* halfBar = "#BPM 120\n#00102:0.5\n#00111:01\n";
    const char* tempo = "#BPM 120\n#00003:00F0\n";  // 240 BPM from the middle of measure 0
    const char* stop = "#BPM 120\n#STOP01 96\n#00009:0001\n";  // 1000 ms at the middle
    const Case cases[] = {
        {plain, 0, 0},
        {plain, 1, 2000},
        {plain, 2.25, 4500},
        {plain, 8.5, 17000},  // past the last line the last tempo goes on
        {plain, 1000, 2000000},
        {plain, 1000.5, std::nullopt},
        {plain, -0.5, std::nullopt},
        {halfBar, 1.5, 2500},
        {halfBar, 2, 3000},
        {halfBar, 3, 5000},
        {tempo, 0.5, 1000},
        {tempo, 0.75, 1250},
        {tempo, 2, 2500},
        {stop, 0.5, 1000},  // a note at the stop sounds when it begins
        {stop, 0.75, 2500},
        {stop, 1, 3000},
        {"#BPM 120\n#00003:F0\n#00009:01\n", 1, 1000},  // a stop never defined is no stop
    };
    for (const Case& c : cases) {
        const Chart chart = readFullChartText(QString::fromLatin1(c.text), QString(), nullptr, 1);
        EXPECT_EQ(measureTimeMs(chart.timeline(), c.measure), c.ms)
            << c.text << " at " << c.measure;
    }
    EXPECT_EQ(measureTimeMs(Timeline{}, 0), std::nullopt);  // bmson has no measures
}

}  // namespace
}  // namespace carvel
