#include <gtest/gtest.h>

#include "testing/qt_printers.h"

#include <cmath>
#include <random>

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
        Strings events;  // as the sorter places them
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
        // Lines of other lengths in turn, one longer than the parser's chunk of 256 pairs.
        {u"#00011:"_qs + pairs(2, 1, u"03") + u"\n#00012:"_qs + pairs(300, 257, u"01") +
             u"\n#00013:"_qs + pairs(300, 299, u"02") + u"\n#00014:"_qs + pairs(2, 1, u"04"),
         Result::Handled,
         {"000096,11,3", "000096,14,4", "000164,12,1", "000191,13,2"},
         {}},
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
        MeasureSorter sorter(parsed);
        ChannelParser parser(sorter, barLengths);
        Result result = Result::Handled;
        for (const QString& line : c.line.split(u'\n')) {
            result = parser.parse(line);
        }
        sorter.finish();
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
    MeasureSorter sorter(parsed);
    ChannelParser parser(sorter, barLengths);
    for (int c : {1, 4, 6, 7, 11, 12, 16, 21, 26}) {
        parser.parse(u"#000"_qs + QString::number(c).rightJustified(2, u'0') +
                     u":0102030A0B0C1011FEFF"_qs);
    }
    sorter.finish();
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

// The plain definition of the table's order: the texts, compared as strings.
void sortByText(std::vector<Event>& events, const std::vector<double>& ratios) {
    std::vector<std::pair<std::string, Event>> texts;
    for (const Event& e : events) {
        texts.emplace_back(eventText(e, ratios), e);
    }
    std::stable_sort(texts.begin(), texts.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (size_t i = 0; i < events.size(); ++i) {
        events[i] = texts[i].second;
    }
}

// Events of the given measures (in that order of lines), `perMeasure` each, on random ticks of
// `ticks` distinct ones, with channels and values from the lists.
std::vector<Event> randomEvents(std::mt19937& random, const std::vector<int>& measures,
                                int perMeasure, int ticks, const std::vector<int>& channels,
                                const std::vector<int>& values) {
    std::vector<Event> events;
    for (int m : measures) {
        for (int i = 0; i < perMeasure; ++i) {
            Event e;
            e.position = std::int64_t{m} * 192 + static_cast<int>(random() % ticks) * (192 / ticks);
            e.channel = static_cast<std::uint8_t>(channels[random() % channels.size()]);
            e.value = values[random() % values.size()];
            events.push_back(e);
        }
    }
    return events;
}

TEST(SortEvents, GivesTheTextOrderOnEveryPath) {
    const std::vector<int> played = {1, 4, 6, 7, 11, 12, 13, 14, 15, 16, 21, 22, 23, 24, 25, 26};
    std::vector<int> manyChannels;  // more channels than a measure's events can pay buckets for
    for (int c = 0; c < 100; ++c) {
        if (c != kBarEndChannel) {
            manyChannels.push_back(c);
        }
    }
    // Values whose texts sort unlike their numbers: "164" < "23" < "230" < "77".
    const std::vector<int> tricky = {1, 2, 10, 23, 77, 99, 100, 164, 230, 255};
    std::vector<int> anyValue;
    for (int v = 0; v <= 255; ++v) {
        anyValue.push_back(v);
    }
    struct Case {
        const char* name;
        std::vector<int> measures;  // in line order
        int perMeasure;
        int ticks;
        std::vector<int> channels;
        std::vector<int> values;
        std::vector<std::string> extra;  // events added after the random ones
    };
    const Case cases[] = {
        {"buckets by tick and channel", {0, 1, 2, 5, 999}, 2000, 64, played, tricky, {}},
        {"one tick, few channels", {3}, 300, 1, {11, 1, 4}, tricky, {}},
        {"radix: many channels", {0, 1, 7}, 60, 192, manyChannels, anyValue, {}},
        {"small measures", {0, 1, 2, 3, 4}, 20, 8, played, tricky, {}},
        {"measure beyond the key limit", {2}, 70000, 192, played, anyValue, {}},
        {"lines out of measure order", {4, 1, 4, 0, 2, 1}, 100, 48, played, tricky, {}},
        {"a bar end", {0, 1}, 50, 4, played, tricky, {"000192,2,0.75"}},
        {"positions beyond six digits",
         {0},
         50,
         4,
         played,
         tricky,
         {"1000000,11,1", "-000005,4,2"}},
        {"values beyond 255", {0, 1}, 50, 4, played, tricky, {"000010,11,300"}},
    };
    std::mt19937 random(7);
    for (const Case& c : cases) {
        std::vector<double> ratios;
        std::vector<Event> events = eventsFromTexts(c.extra, ratios);
        const std::vector<Event> drawn =
            randomEvents(random, c.measures, c.perMeasure, c.ticks, c.channels, c.values);
        events.insert(events.begin(), drawn.begin(), drawn.end());
        std::vector<Event> expected = events;
        sortByText(expected, ratios);
        sortEvents(events, ratios);
        EXPECT_TRUE(textsOf(events, ratios) == textsOf(expected, ratios)) << c.name;
    }
}

// The buffer's lines are appendEventText's texts, each with a '\n', whichever way they are added.
TEST(EventLineBuffer, WritesTheEventTexts) {
    std::mt19937 random(11);
    std::vector<double> ratios = {0.75, 1.5, 1e-300};
    std::vector<Event> events;
    const std::int64_t positions[] = {0, 5, 191999, 999999, 1000000, -5, 123456789012};
    for (int i = 0; i < 20000; ++i) {
        Event e;
        e.position = i % 7 == 0 ? positions[random() % 7] : static_cast<int>(random() % 1000);
        e.channel = static_cast<std::uint8_t>(i % 50 == 0 ? 100 + random() % 156 : random() % 100);
        e.value = e.channel == kBarEndChannel ? static_cast<int>(random() % 4)
                  : i % 40 == 0               ? 256 + static_cast<int>(random() % 1000)
                                              : static_cast<int>(random() % 256);
        events.push_back(e);
    }
    std::string expected;
    for (const Event& e : events) {
        expected += eventText(e, ratios) + '\n';
    }
    struct Case {
        const char* name;
        size_t until;  // 0: one event at a time
    };
    const Case cases[] = {{"one at a time", 0}, {"in pieces", 100}, {"all at once", SIZE_MAX}};
    for (const Case& c : cases) {
        EventLineBuffer lines(ratios);
        std::string got;
        const Event* next = events.data();
        const Event* const end = next + events.size();
        while (next != end) {
            if (c.until == 0) {
                lines.add(*next++);
            } else {
                next = lines.add(next, end, c.until);
            }
            if (c.until != SIZE_MAX) {
                got += lines.text();
                lines.clear();
            }
        }
        got += lines.text();
        EXPECT_TRUE(got == expected) << c.name;
    }
}

// The pass as its contract reads, one entry at a time: each event, in order and at the position it
// had, meets every bar length in line order; a bar end goes directly before the first entry, from
// the top, whose text sorts after its own.
void plainBarLengths(const std::vector<BarLength>& barLengths, std::vector<Event>& events,
                     std::vector<double>& ratios) {
    const auto round = [](double x) {
        return static_cast<std::int64_t>(std::floor(std::clamp(x, -1e15, 1e15) + 0.5));
    };
    std::vector<std::pair<bool, Event>> table;  // (is an event, entry)
    for (const Event& e : events) {
        table.emplace_back(true, e);
    }
    std::vector<bool> used(barLengths.size(), false);
    for (size_t k = 0; k < table.size(); ++k) {
        if (!table[k].first) {
            continue;
        }
        const double a = positionField(table[k].second.position);
        for (size_t i = 0; i < barLengths.size(); ++i) {
            const auto b = static_cast<double>(barLengths[i].start);
            const double r = barLengths[i].ratio;
            if (used[i]) {
                continue;
            }
            if (a >= b && a < b + 192) {
                table[k].second.position = round(b + (a - b) * r);
            } else if (a > b + 192) {
                const Event barEnd{round(b + r * 192), static_cast<std::int32_t>(ratios.size()),
                                   kBarEndChannel};
                ratios.push_back(r);
                size_t at = 0;
                while (at < table.size() &&
                       !(eventText(barEnd, ratios) < eventText(table[at].second, ratios))) {
                    ++at;
                }
                table.insert(table.begin() + static_cast<std::ptrdiff_t>(at), {false, barEnd});
                k += at <= k ? 1 : 0;
                used[i] = true;
            }
        }
    }
    events.clear();
    for (const auto& entry : table) {
        events.push_back(entry.second);
    }
}

TEST(BarLengthPass, AgreesWithThePlainPass) {
    const std::vector<int> played = {1, 4, 11, 12, 16, 21, 26};
    const std::vector<int> values = {1, 23, 77, 164, 230};
    struct Case {
        const char* name;
        std::vector<int> measures;
        int perMeasure;
        std::vector<BarLength> barLengths;
    };
    const Case cases[] = {
        {"none", {0, 1, 2}, 100, {}},
        {"shorter and longer measures among many blocks",
         {0, 1, 2, 3, 4, 5, 6, 7, 8, 9},
         150,
         {{192, 0.75}, {768, 1.5}, {1344, 0.5}}},
        {"two lines for one measure", {0, 1, 2, 3}, 200, {{384, 0.5}, {384, 0.25}}},
        {"the last measure, with no event past its end", {0, 1, 2}, 100, {{384, 0.5}}},
        {"measures without events", {0, 5}, 100, {{384, 0.5}, {576, 1.5}}},
        {"bar ends at one position", {0, 1, 2, 3}, 100, {{0, 1}, {192, 0}, {384, 0}}},
        {"a ratio past six digits", {0, 1, 2}, 100, {{192, 1e5}}},
        {"starts before the table and past six digits", {0, 1}, 100, {{-384, 0.5}, {5000000, 0.5}}},
        {"every measure",
         {0, 1, 2, 3, 4, 5},
         70,
         {{0, 0.5}, {192, 0.875}, {384, 1.25}, {576, 0.75}, {768, 2}, {960, 0.125}}},
    };
    std::mt19937 random(5);
    for (const Case& c : cases) {
        std::vector<Event> events =
            randomEvents(random, c.measures, c.perMeasure, 192, played, values);
        sortByText(events, {});
        std::vector<Event> expected = events;
        std::vector<double> expectedRatios;
        plainBarLengths(c.barLengths, expected, expectedRatios);
        std::vector<double> ratios;
        applyBarLengths(c.barLengths, events, ratios);
        EXPECT_EQ(ratios, expectedRatios) << c.name;
        EXPECT_TRUE(textsOf(events, ratios) == textsOf(expected, expectedRatios)) << c.name;
    }
}

}  // namespace
}  // namespace carvel
