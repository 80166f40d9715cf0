#include <gtest/gtest.h>

#include "platform/testing/qt_printers.h"

#include "chart/bar_length_pass.h"
#include "chart/channel_parser.h"

namespace carvel {
namespace {

using Strings = std::vector<std::string>;

class Recorder : public StatusObserver {
  public:
    void eventCountChanged(qsizetype count) override { counts.push_back(count); }
    std::vector<qsizetype> counts;
};

TEST(ParseChannelLine, Table) {
    struct Case {
        QString line;
        int result;
        Strings events;   // List2, in the order appended
        Strings working;  // colEvents
        QStringList barLen;
    };
    const Case cases[] = {
        {u"#00111:01020304"_qs,
         0,
         {"000192,11,1", "000240,11,2", "000288,11,3", "000336,11,4"},
         {"192,11,1", "240,11,2", "288,11,3", "336,11,4"},
         {u""_qs}},
        {u"#00211:00000005"_qs,
         0,
         {"000528,11,5"},
         {"384,11,0", "432,11,0", "480,11,0", "528,11,5"},
         {u""_qs}},
        {u"#00111:0g0F"_qs, 0, {"000288,11,15"}, {"192,11,0", "288,11,15"}, {u""_qs}},
        {u"  #00001:01  "_qs, 0, {"000000,1,1"}, {"0,1,1"}, {u""_qs}},
        {u"#00104:0A0b"_qs, 0, {"000192,4,10", "000288,4,11"}, {"192,4,10", "288,4,11"}, {u""_qs}},
        {u"#99911:01"_qs, 0, {"191808,11,1"}, {"191808,11,1"}, {u""_qs}},
        {u"#00502:0.75"_qs, 0, {}, {}, {u"960,0.75"_qs, u""_qs}},
        {u"#00202: 0.75"_qs, 0, {}, {}, {u"384, 0.75"_qs, u""_qs}},
        {u"#00111:010"_qs, 2, {}, {}, {u""_qs}},
        {u"#00103:78"_qs, 3, {}, {}, {u""_qs}},
        {u"#00117:01"_qs, 3, {}, {}, {u""_qs}},
        {u"#0011A:01"_qs, 2, {}, {}, {u""_qs}},
        {u"#00A11:01"_qs, 2, {}, {}, {u""_qs}},
        {u"#0011:01"_qs, 2, {}, {}, {u""_qs}},
        {u"#00111:"_qs, 2, {}, {}, {u""_qs}},
        {u"#PLAYER 1"_qs, 2, {}, {}, {u""_qs}},
        {u"#WAV01 kick.wav"_qs, 2, {}, {}, {u""_qs}},
        {u"#TITLE"_qs, 2, {}, {}, {u""_qs}},
        {u""_qs, 0, {}, {}, {u""_qs}},
        {u"*comment"_qs, 0, {}, {}, {u""_qs}},
        {u"\t#00111:01"_qs, 0, {}, {}, {u""_qs}},
    };
    for (const Case& c : cases) {
        ChartState state;
        state.Reset();
        ChannelLineParser parser(state, nullptr);
        EXPECT_EQ(parser.ParseChannelLine(c.line), c.result) << c.line.toStdString();
        EXPECT_EQ(state.List2, c.events) << c.line.toStdString();
        EXPECT_EQ(state.colEvents, c.working) << c.line.toStdString();
        EXPECT_EQ(state.strBarLen, c.barLen) << c.line.toStdString();
    }
}

TEST(ParseChannelLine, BarLengthsAreKeptOncePerText) {
    ChartState state;
    state.Reset();
    ChannelLineParser parser(state, nullptr);
    parser.ParseChannelLine(u"#00502:0.75"_qs);
    parser.ParseChannelLine(u"#00502:0.75"_qs);
    parser.ParseChannelLine(u"#00502:0.5"_qs);
    EXPECT_EQ(state.strBarLen, (QStringList{u"960,0.75"_qs, u"960,0.5"_qs, u""_qs}));
}

TEST(ParseChannelLine, SlotOffsetsUseDoubleProducts) {
    // 88 pairs: slot 55 lies at floor((192/88)*55) = 119, one below the exact 120.
    ChartState state;
    state.Reset();
    ChannelLineParser parser(state, nullptr);
    QString data(176, u'0');
    data.replace(110, 2, u"01"_qs);
    parser.ParseChannelLine(u"#00011:"_qs + data);
    EXPECT_EQ(state.List2, Strings{"000119,11,1"});

    state.Reset();
    QString data147(294, u'0');
    data147.replace(98, 2, u"02"_qs);
    parser.ParseChannelLine(u"#00011:"_qs + data147);
    EXPECT_EQ(state.List2, Strings{"000063,11,2"});
}

TEST(ParseChannelLine, LongLinesAndDuplicatesAndCount) {
    ChartState state;
    state.Reset();
    Recorder recorder;
    ChannelLineParser parser(state, &recorder);
    // 20000 pairs on one line: more than a 16-bit pair counter holds.
    QString data;
    for (int i = 0; i < 20000; ++i) {
        data += u"01"_qs;
    }
    EXPECT_EQ(parser.ParseChannelLine(u"#00011:"_qs + data), 0);
    EXPECT_EQ(state.List2.size(), 20000u);
    EXPECT_EQ(state.List2.back(), "000191,11,1");
    parser.ParseChannelLine(u"#00111:01"_qs);
    parser.ParseChannelLine(u"#00111:01"_qs);
    EXPECT_EQ(recorder.counts, (std::vector<qsizetype>{20000, 20001, 20002}));
}

TEST(BarLengthPass, SqueezesAndMarks) {
    struct Case {
        QStringList barLen;  // without the spare
        Strings sortedEvents;
        Strings expected;
    };
    const Case cases[] = {
        // Measure 3 at 0.75: 672 -> 648, marker at 720 between 648 and 800.
        {{u"576,0.75"_qs},
         {"000576,11,1", "000672,11,2", "000800,11,3"},
         {"000576,11,1", "000648,11,2", "000720,2,0.75", "000800,11,3"}},
        // No event past the measure end: no marker.
        {{u"576,0.5"_qs},
         {"000576,11,1", "000700,11,2", "000768,11,3"},
         {"000576,11,1", "000638,11,2", "000768,11,3"}},
        // A ratio that is no number squeezes the measure onto its first tick.
        {{u"0,abc"_qs},
         {"000010,11,1", "000100,11,2", "000200,11,3"},
         {"000000,11,1", "000000,11,2", "000000,2,0", "000200,11,3"}},
        // Two entries for one measure: the later rewrite wins, each entry gets its own marker.
        {{u"192,0.5"_qs, u"192,0.25"_qs},
         {"000200,11,1", "000400,11,2"},
         {"000194,11,1", "000240,2,0.25", "000288,2,0.5", "000400,11,2"}},
        // Marker sorts by full text among events at its tick: after 1 and 11, before 4.
        {{u"0,1"_qs},
         {"000100,11,1", "000192,1,1", "000192,11,1", "000192,4,1", "000300,1,1"},
         {"000100,11,1", "000192,1,1", "000192,11,1", "000192,2,1", "000192,4,1", "000300,1,1"}},
        // Longer bars push events past the next measure start; they keep their place.
        {{u"0,1.5"_qs},
         {"000100,11,1", "000200,11,2", "000400,11,3"},
         {"000150,11,1", "000200,11,2", "000288,2,1.5", "000400,11,3"}},
    };
    for (const Case& c : cases) {
        ChartState state;
        state.Reset();
        state.strBarLen = c.barLen;
        state.strBarLen.append(QString());
        state.List2 = c.sortedEvents;
        applyBarLengths(state);
        EXPECT_EQ(state.List2, c.expected) << c.barLen.join(u' ').toStdString();
    }
}

}  // namespace
}  // namespace carvel
