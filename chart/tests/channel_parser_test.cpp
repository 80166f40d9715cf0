#include <gtest/gtest.h>

#include "testing/qt_printers.h"

#include "chart/bar_length_pass.h"
#include "chart/channel_parser.h"
#include "testing/fakes.h"

namespace carvel {
namespace {

using Strings = std::vector<std::string>;
using Result = ChannelParser::Result;

using testing::eventsFromTexts;
using testing::textsOf;

QString pairs(int count, int at, const char16_t* value) {
    QString data(2 * count, u'0');
    data.replace(2 * at, 2, QString::fromUtf16(value));
    return data;
}

TEST(ChannelParser, Table) {
    struct Case {
        QString line;    // lines, each parsed in turn
        Result result;   // of the last line
        Strings events;  // in the order appended
        std::vector<std::pair<std::int64_t, double>> barLengths;
    };
    const Case cases[] = {
        {u"#00111:0102"_qs, Result::Handled, {"000192,11,1", "000288,11,2"}, {}},
        {u"#00211:00000005"_qs, Result::Handled, {"000528,11,5"}, {}},
        {u"#00111:0g0F"_qs, Result::Handled, {"000288,11,15"}, {}},
        {u"  #00001:01  "_qs, Result::Handled, {"000000,1,1"}, {}},
        {u"#00104:0A0b"_qs, Result::Handled, {"000192,4,10", "000288,4,11"}, {}},
        {u"#99911:01"_qs, Result::Handled, {"191808,11,1"}, {}},
        // Slot h of n lies at floor((192 / n) x h) in doubles, for some n a tick below exact.
        {u"#00011:"_qs + pairs(88, 55, u"01"), Result::Handled, {"000119,11,1"}, {}},
        {u"#00011:"_qs + pairs(147, 49, u"02"), Result::Handled, {"000063,11,2"}, {}},
        {u"#00502:0.75"_qs, Result::Handled, {}, {{960, 0.75}}},
        {u"#00202: 0.75"_qs, Result::Handled, {}, {{384, 0.75}}},
        {u"#00202:abc"_qs, Result::Handled, {}, {{384, 0}}},
        // One bar length per text: the same ratio written anew counts again.
        {u"#00002:.5\n#00002:.5\n#00002:0.5"_qs, Result::Handled, {}, {{0, 0.5}, {0, 0.5}}},
        {u"#00111:010"_qs, Result::Malformed, {}, {}},
        {u"#00103:78"_qs, Result::NotPlayed, {}, {}},
        {u"#00117:01"_qs, Result::NotPlayed, {}, {}},
        {u"#0011A:01"_qs, Result::Malformed, {}, {}},
        {u"#00A11:01"_qs, Result::Malformed, {}, {}},
        {u"#0011:01"_qs, Result::Malformed, {}, {}},
        {u"#00111:"_qs, Result::Malformed, {}, {}},
        {u"#WAV01 kick.wav"_qs, Result::Malformed, {}, {}},
        {u""_qs, Result::Handled, {}, {}},
        {u"*comment"_qs, Result::Handled, {}, {}},
        {u"\t#00111:01"_qs, Result::Handled, {}, {}},
    };
    for (const Case& c : cases) {
        std::vector<Event> parsed;
        std::vector<BarLength> barLengths;
        ChannelParser parser(parsed, barLengths);
        Result result = Result::Handled;
        for (const QString& line : c.line.split(u'\n')) {
            result = parser.parse(line);
        }
        EXPECT_EQ(result, c.result) << c.line.toStdString();
        EXPECT_EQ(textsOf(parsed, {}), c.events) << c.line.toStdString();
        std::vector<std::pair<std::int64_t, double>> got;
        for (const BarLength& b : barLengths) {
            got.emplace_back(b.start, b.ratio);
        }
        EXPECT_EQ(got, c.barLengths) << c.line.toStdString();
    }
}

// The table's order is the order of the event texts, quirks included.
TEST(EventOrder, IsTheOrderOfTheTexts) {
    const Strings sorted = {
        "-000005,11,1",  "000000,1,1",   "000192,1,5",      "000192,11,3",  "000192,11,30",
        "000192,16,1",   "000192,2,0.5", "000192,2,0.75",   "000192,21,1",  "000192,4,1",
        "000192,4,12",   "000192,4,2",   "000193,1,1",      "1000000,11,1",  // beyond six digits
        "191999,26,255", "200000,7,7",   "2000000,2,0.125",
    };
    std::vector<double> ratios;
    std::vector<Event> list = eventsFromTexts(sorted, ratios);
    std::reverse(list.begin(), list.end());
    std::sort(list.begin(), list.end(), EventOrder(ratios));
    Strings expected = sorted;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(textsOf(list, ratios), expected);

    // The reader's fast sort agrees with the comparison of texts on everything it can meet.
    std::vector<Event> parsed;
    std::vector<BarLength> barLengths;
    ChannelParser parser(parsed, barLengths);
    for (int c : {1, 4, 6, 7, 11, 12, 16, 21, 26}) {
        parser.parse(u"#000"_qs + QString::number(c).rightJustified(2, u'0') +
                     u":0102030A0B0C1011FEFF"_qs);
    }
    sortEvents(parsed, {});
    const Strings got = textsOf(parsed, {});
    EXPECT_TRUE(std::is_sorted(got.begin(), got.end()));
}

TEST(BarLengthPass, SqueezesAndMarks) {
    struct Case {
        std::vector<BarLength> barLengths;
        Strings sortedEvents;
        Strings expected;
    };
    const Case cases[] = {
        // Measure 3 at 0.75: 672 -> 648, a bar end at 720 between 648 and 800.
        {{{576, 0.75}},
         {"000576,11,1", "000672,11,2", "000800,11,3"},
         {"000576,11,1", "000648,11,2", "000720,2,0.75", "000800,11,3"}},
        // No event past the measure end: no bar end.
        {{{576, 0.5}},
         {"000576,11,1", "000700,11,2", "000768,11,3"},
         {"000576,11,1", "000638,11,2", "000768,11,3"}},
        // A ratio of 0 (a text that is no number) squeezes the measure onto its first tick.
        {{{0, 0}},
         {"000010,11,1", "000100,11,2", "000200,11,3"},
         {"000000,11,1", "000000,11,2", "000000,2,0", "000200,11,3"}},
        // Two lines for one measure: the later rewrite wins, each gets its own bar end.
        {{{192, 0.5}, {192, 0.25}},
         {"000200,11,1", "000400,11,2"},
         {"000194,11,1", "000240,2,0.25", "000288,2,0.5", "000400,11,2"}},
        // A bar end sorts by full text among events at its tick: after 1 and 11, before 4.
        {{{0, 1}},
         {"000100,11,1", "000192,1,1", "000192,11,1", "000192,4,1", "000300,1,1"},
         {"000100,11,1", "000192,1,1", "000192,11,1", "000192,2,1", "000192,4,1", "000300,1,1"}},
        // Longer bars push events past the next measure start; they keep their place.
        {{{0, 1.5}},
         {"000100,11,1", "000200,11,2", "000400,11,3"},
         {"000150,11,1", "000200,11,2", "000288,2,1.5", "000400,11,3"}},
        // An absurd ratio: positions are clamped, never overflow, and keep their place.
        {{{0, 1e20}},
         {"000001,11,1", "000300,11,2"},
         {"1000000000000000,11,1", "000300,11,2", "1000000000000000,2,100000000000000000000"}},
    };
    for (const Case& c : cases) {
        std::vector<double> ratios;
        std::vector<Event> list = eventsFromTexts(c.sortedEvents, ratios);
        applyBarLengths(c.barLengths, list, ratios);
        EXPECT_EQ(textsOf(list, ratios), c.expected) << c.sortedEvents.front();
    }
}

}  // namespace
}  // namespace carvel
