#include <gtest/gtest.h>

#include "platform/testing/qt_printers.h"

#include <QDir>
#include <algorithm>

#include "chart/chart_loader.h"

namespace carvel {
namespace {

QString testdata() {
    return qEnvironmentVariable("CARVEL_TESTDATA") + u"/charts/"_qs;
}

// The third-party charts load without harm, with the counts they should give.
TEST(TestData, ThirdPartyCharts) {
    if (!QDir(testdata()).exists()) {
        GTEST_SKIP() << "shared test charts not present";
    }
    struct Case {
        const char16_t* file;
        size_t events;
        qsizetype messages;
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
        ChartState state;
        QStringList messages;
        EXPECT_EQ(OpenChart(testdata() + QString::fromUtf16(c.file), messages, state, nullptr), 0);
        EXPECT_EQ(state.colEvents.size(), c.events) << QString::fromUtf16(c.file).toStdString();
        EXPECT_EQ(messages.size(), c.messages) << QString::fromUtf16(c.file).toStdString();
        EXPECT_EQ(state.strTitle, QString::fromUtf16(c.title));
        EXPECT_EQ(state.intBpm, c.bpm);
        EXPECT_TRUE(std::is_sorted(state.colEvents.begin(), state.colEvents.end()) ||
                    !state.strBarLen.isEmpty());
    }
}

TEST(TestData, MessagesQuoteNamesAsWritten) {
    if (!QDir(testdata()).exists()) {
        GTEST_SKIP() << "shared test charts not present";
    }
    ChartState state;
    QStringList messages;
    OpenChart(testdata() + u"bms-rs/dive_withblank.bme"_qs, messages, state, nullptr);
    EXPECT_TRUE(messages.contains(u"Waveﾌｧｲﾙ Cymbals\tCrash 05.wav が見つかりません。(WAV1O)"_qs))
        << messages.join(u'|').toStdString();
    messages.clear();
    OpenChart(testdata() + u"angolmois/invisible.bms"_qs, messages, state, nullptr);
    EXPECT_TRUE(state.soundLoaded(0x11));
    EXPECT_TRUE(messages.isEmpty());
}

}  // namespace
}  // namespace carvel
