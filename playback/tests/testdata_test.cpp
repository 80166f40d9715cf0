#include <gtest/gtest.h>

#include "testing/qt_printers.h"

#include "playback/chart_loader.h"
#include "playback/display_texts.h"
#include "testing/test_files.h"

namespace carvel {
namespace {

// The third-party charts load without harm, with the counts they should give.
TEST(TestData, ThirdPartyCharts) {
    const QString folder = testing::testdataFolder();
    struct Case {
        const char16_t* file;
        size_t events;
        size_t messages;
        const char16_t* title;
        int bpm;
    };
    const Case cases[] = {
        {u"angolmois/invisible.bms", 2, 0, u"invisible note test", 180},
        {u"angolmois/longnote-followed-by-bomb.bml", 0, 1, u"Longnote directly followed by bomb",
         180},
        {u"bmflat/sample.bms", 39, 8, u"Example", 116},
        {u"bms-rs/nc_mx.bme", 1415, 918, u"NULCTRL", 100},
        {u"bms-rs/lilith_mx.bms", 1744, 1283, u"Lilith ambivalence lovers", 151},
        {u"bms-rs/dive_withblank.bme", 1, 7, u"FREEDOM DiVE [Test]", 222},
        {u"lunatic-rave-3/test.bms", 0, 1, u"undifined", 130},
    };
    for (const Case& c : cases) {
        const QString file = QString::fromUtf16(c.file);
        const LoadedChart loaded = loadChart(folder + file, MediaOptions());
        EXPECT_TRUE(loaded.found) << file.toStdString();
        EXPECT_EQ(loaded.chart.table().events.size(), c.events) << file.toStdString();
        EXPECT_EQ(loaded.messages.size(), c.messages) << file.toStdString();
        EXPECT_EQ(loaded.chart.title, QString::fromUtf16(c.title));
        EXPECT_EQ(loaded.chart.bpm, c.bpm);
    }
    // Messages quote names as the chart wrote them, tabs and blanks included.
    const LoadedChart dive = loadChart(folder + u"bms-rs/dive_withblank.bme"_qs, MediaOptions());
    EXPECT_EQ(messageText(dive.messages.at(1)),
              u"Waveﾌｧｲﾙ Cymbals\tCrash 05.wav が見つかりません。(WAV1O)"_qs);
    const LoadedChart invisible = loadChart(folder + u"angolmois/invisible.bms"_qs, MediaOptions());
    EXPECT_NE(invisible.media.sound(0x11), nullptr);
}

}  // namespace
}  // namespace carvel
