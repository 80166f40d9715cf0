#include <gtest/gtest.h>

#include "testing/qt_printers.h"

#include <QTemporaryDir>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <tuple>

#include "chart/channel_parser.h"
#include "chart/chart_reader.h"
#include "chart/timed_event_text.h"
#include "platform/text_decoding.h"
#include "testing/fakes.h"
#include "testing/test_files.h"

namespace carvel {
namespace {

using Strings = std::vector<std::string>;

// Everything the classic reading keeps, as text.
Strings summary(const Chart& chart) {
    Strings out = {chart.title.toStdString(), chart.genre.toStdString(), chart.artist.toStdString(),
                   std::to_string(chart.bpm), std::to_string(chart.table().fullOnlyLines)};
    for (const MediaRequest& r : chart.media) {
        out.push_back((u"%1 %2 [%3] [%4] %5"_qs)
                          .arg(QString::number(static_cast<int>(r.kind)), r.indexText, r.name,
                               r.file.path, QString::number(r.notBitmap))
                          .toStdString());
    }
    for (const std::string& e :
         testing::textsOf(chart.table().events, chart.table().barEndRatios)) {
        out.push_back(e);
    }
    return out;
}

// Everything the full reading keeps, as text.
Strings fullSummary(const Chart& chart) {
    Strings out = {chart.title.toStdString(), chart.artist.toStdString(),
                   std::to_string(chart.startBpm)};
    for (const MediaRequest& r : chart.media) {
        out.push_back((u"%1 %2 [%3] [%4] %5"_qs)
                          .arg(QString::number(static_cast<int>(r.kind)), r.indexText, r.name,
                               r.file.path, QString::number(r.video))
                          .toStdString());
    }
    for (const TimedEvent& e : chart.timeline().events) {
        std::string text;
        appendTimedEventText(text, e);
        out.push_back(text);
    }
    for (const LongNote& n : chart.timeline().longNotes) {
        out.push_back("long " + std::to_string(n.startMs) + " " + std::to_string(n.endMs) + " " +
                      std::to_string(n.channel));
    }
    for (const TimingMark& m : chart.timeline().timingMarks) {
        out.push_back("mark " + std::to_string(m.timeMs) + " " + std::to_string(m.bpm) + " " +
                      std::to_string(m.stopMs));
    }
    return out;
}

// Reading the bytes gives what decoding the whole file and reading its text gives.
TEST(ReadChartBytes, SameAsTheDecodedText) {
    const QByteArray cases[] = {
        "#TITLE plain\r\n#00111:0102\r\n#00211:03\r\n",
        // Measures out of order, and one measure of many events (the sort by ticks).
        "#00511:01\n#00111:0203\n#00311:" + QByteArray("0A0B0C0D", 8).repeated(40) +
            "\n#00316:0F00FF\n#00111:11\n",
        // A UTF-8 mark, a second one (dropped with it), and one inside a line (kept).
        "\xEF\xBB\xBF\xEF\xBB\xBF#TITLE \xE3\x83\x86\n#ARTIST a\xEF\xBB\xBF\n#00111:01",
        // CP932 names and texts; a lead byte without its second byte before a break and at the end.
        "#TITLE \x83\x65\x83\x58\x83\x67\r\n#WAV01 \x83\x65.wav\r\n#GENRE x\x81\r\n#00111:01\r\n"
        "#ARTIST y\x81",
        "\xEF\xBB\xBF#TITLE \x83\x65\r\n#00111:0101\r",
        // Bytes that CP932 decodes to other control characters, in a channel line and a bar length.
        "#TITLE \x83\x65\n#00102:0.5\x7F\n#00102:0.5\x1A\n#00111:01\x7F\x1C\n#00211:0101\n",
        // Lines with spaces, tabs and non-ASCII data go the way of text.
        "#00111:01 02\n#00111:\t0102\n#00111:01\xE3\x83\x86\n#00111:0G\n#wav0Z a b.bmp\n",
        // A mark of UTF-16 reads the whole text.
        QByteArray("\xFF\xFE#\0T\0I\0T\0L\0E\0 \0\xC6\x30\n\0", 20),
        "",
        "\n\r\n",
    };
    for (const QByteArray& bytes : cases) {
        SCOPED_TRACE(bytes.toHex().toStdString());
        const Chart fromText = readChartText(decodeText(bytes), u"/nonexistent/"_qs);
        const Chart fromBytes = readChartBytes(bytes, u"/nonexistent/"_qs);
        EXPECT_EQ(summary(fromBytes), summary(fromText));
    }
}

// A chart file read from disk gives back the pages of the lines it has passed: lines that are
// decoded after several MiB of channel lines, a CP932 line whose break follows it, and a last line
// without a break still read as the text of the whole file reads them.
TEST(ReadChartBytes, LongFileSameAsTheDecodedText) {
    QTemporaryDir dir;
    const QString path = dir.path() + u"/long.bms"_qs;
    QByteArray channelLines;
    for (int m = 0; m < 500; ++m) {  // 2 MB, one event a line
        channelLines += "#" + QByteArray::number(m).rightJustified(3, '0') + "11:0A" +
                        QByteArray(3998, '0') + "\r\n";
    }
    const QByteArray cases[] = {
        channelLines + "#TITLE \x83\x65\x83\x58\r\n#WAV01 \x83\x65.wav\r\n#00102:0.5\r\n" +
            channelLines + "#GENRE x\x81\r\n#ARTIST y\x81",
        "\xEF\xBB\xBF" + channelLines + "#TITLE \xE3\x83\x86\n" + channelLines + "#00111:0F",
    };
    for (const QByteArray& bytes : cases) {
        testing::writeBytes(path, bytes);
        const Chart fromFile = readChart(path).chart;
        const Chart fromText = readChartText(decodeText(bytes), dir.path() + u'/');
        EXPECT_EQ(summary(fromFile), summary(fromText));
        // The full reading gives the pages back as it places the measures, in whatever order the
        // lines name them.
        const ReadOptions full{ReadingMode::Full, 1};
        const Chart fullFromFile = readChart(path, nullptr, full).chart;
        const Chart fullFromText =
            readChartText(decodeText(bytes), dir.path() + u'/', nullptr, full);
        EXPECT_EQ(fullSummary(fullFromFile), fullSummary(fullFromText));
    }
}

// The full reading of the bytes, which decodes only the lines that are not plain channel lines,
// gives what the full reading of the whole decoded text gives.
TEST(ReadChartBytes, FullReadingSameAsTheDecodedText) {
    const QByteArray cases[] = {
        "#TITLE plain\r\n#BPM 150\r\n#00111:0102\r\n#00203:7F\r\n#00211:0Z\r\n",
        // Blanks around and inside data, tabs, CP932 and control characters in channel lines.
        "#00111:  01 02  \n#00112:\t0102\t\n#00113:01\x83\x65\n#00114:0\x7F"
        "01\n#00115:zz\n",
        // CP932 names and definitions; #BASE 62 after the lines it changes; indexes in both cases.
        "#TITLE \x83\x65\x83\x58\r\n#WAV0a \x83\x65.wav\r\n#BMP01 a.mpg\r\n#00111:0a0A\r\n"
        "#BASE 62\r\n#BPM0b 180\r\n#STOP01 96\r\n#00108:0b\r\n#00109:01\r\n#00102:0.75\r\n",
        // Switches: each #DEF depends on the #CASE lines that come after it.
        "#SETSWITCH 2\n#DEF\n#00112:02\n#SKIP\n#CASE 2\n#00111:01\n#ENDSW\n"
        "#SWITCH 3\n#SETSWITCH 3\n#CASE 3\n#00113:03\n#ENDSW\n#00114:04\n",
        // #RANDOM with a fixed draw, #IF blocks, long notes and #LNOBJ.
        "#SETRANDOM 2\n#IF 1\n#00111:01\n#ENDIF\n#IF 2\n#00112:02\n#ENDIF\n#LNOBJ ZZ\n"
        "#00211:01ZZ\n#00251:0101\n",
        // UTF-8 with its mark.
        "\xEF\xBB\xBF#TITLE \xE3\x83\x86\n#00111:01\xE3\x83\x86\n#00211:0101",
        "",
    };
    const ReadOptions full{ReadingMode::Full, 1};
    for (const QByteArray& bytes : cases) {
        SCOPED_TRACE(bytes.toHex().toStdString());
        const Chart fromText = readChartText(decodeText(bytes), u"/nonexistent/"_qs, nullptr, full);
        const Chart fromBytes = readChartBytes(bytes, u"/nonexistent/"_qs, nullptr, full);
        EXPECT_EQ(fullSummary(fromBytes), fullSummary(fromText));
    }
}

// A measure's events are put in order of position before they are timed, by merging the lines'
// runs or, in larger measures, by buckets of nearby positions. Read on its own beside the same
// tempo changes and stops, each line needs no ordering; together, the lines must give the same
// times. Lines of prime divisions put events and changes a fraction of a bucket apart.
TEST(FullReading, OrderingALargeMeasureKeepsEachLinesTimes) {
    std::mt19937 random(13);
    // One line a channel (lines of one channel would merge) but for the stacking background:
    // key lanes, whose #LNOBJ pairs end their notes, and two long-note lanes.
    const int channels[] = {1, 1, 4, 7, 11, 12, 13, 51, 61};
    const int divisions[] = {2, 3, 8, 48, 192, 1009, 1013, 1021};
    for (int round = 0; round < 6; ++round) {
        QByteArray timing = "#BPM 130\n#BPM01 90\n#STOP01 24\n#LNOBJ 0A\n";
        QByteArray tempo(2 * 1019, '0');  // tempo changes and stops on a division of 1019
        QByteArray stops(2 * 1019, '0');
        for (int k = 0; k < 150; ++k) {
            tempo.replace(2 * static_cast<int>(random() % 1019), 2, k % 2 == 0 ? "78" : "A0");
            stops.replace(2 * static_cast<int>(random() % 1019), 2, "01");
        }
        timing += "#00003:" + tempo + "\n#00009:" + stops + '\n';
        std::vector<QByteArray> lines;
        for (const int channel : channels) {
            const int n = divisions[random() % std::size(divisions)];
            QByteArray data;
            for (int k = 0; k < n; ++k) {
                data += random() % 3 == 0
                            ? QByteArray::number(1 + random() % 255, 16).rightJustified(2, '0')
                            : QByteArray("00");
            }
            lines.push_back("#000" + QByteArray::number(channel).rightJustified(2, '0') + ':' +
                            data + '\n');
        }
        const ReadOptions full{ReadingMode::Full, 1};
        // The events and long notes of a timeline as texts, in the order of the texts.
        const auto texts = [](const Timeline& timeline, Strings& out) {
            for (const TimedEvent& e : timeline.events) {
                out.emplace_back();
                appendTimedEventText(out.back(), e);
            }
            for (const LongNote& n : timeline.longNotes) {
                char text[80];
                std::snprintf(text, sizeof text, "long %.6f %.6f %d", n.startMs, n.endMs,
                              n.channel);
                out.emplace_back(text);
            }
            std::sort(out.begin(), out.end());
        };
        Strings want;
        QByteArray whole = timing;
        for (const QByteArray& line : lines) {
            whole += line;
            texts(readChartBytes(timing + line, u"/nonexistent/"_qs, nullptr, full).timeline(),
                  want);
        }
        Strings got;
        texts(readChartBytes(whole, u"/nonexistent/"_qs, nullptr, full).timeline(), got);
        ASSERT_GT(want.size(), 64U);
        EXPECT_EQ(got, want) << round;
    }
}

// An event put together as bytes reads back as the one set field by field.
TEST(TimedEvent, MadeWholeIsTheEventSetFieldByField) {
    const std::tuple<double, int, std::int32_t> cases[] = {
        {0, 0, 0},
        {1.5, 1, 1},
        {-0.0, 37, -1},
        {1e300, 2047, kMaxTimedValue},
        {-3.25, 1295, -kMaxTimedValue - 1},
        {std::numeric_limits<double>::denorm_min(), 469, 1 << 18},
    };
    for (const auto& [time, channel, value] : cases) {
        TimedEvent bySetting;
        bySetting.timeMs = time;
        bySetting.channel = static_cast<std::uint32_t>(channel);
        bySetting.value = value;
        const TimedEvent made = makeTimedEvent(time, channel, value);
        EXPECT_EQ(std::memcmp(&made, &bySetting, sizeof made), 0) << channel << ' ' << value;
        EXPECT_FALSE(made.continues);
    }
}

// A measure whose lines' divisions have a small common multiple is ordered on it, one whose lines
// do not, by merging and comparing fractions. Two lines of nothing but "00", whose divisions'
// product is beyond any common grid, turn the one into the other and must change nothing: of one
// channel's lines at one position the last non-empty pair stands, stacked background pairs all
// stand, long-note lanes pair their starts and ends, #LNOBJ ends key notes, and the events come
// by time, channel and value.
TEST(FullReading, ACommonDivisionOrdersAsMergingDoes) {
    const auto pairs = [](std::initializer_list<const char*> values) {
        QByteArray data;
        for (const char* v : values) {
            data += v;
        }
        return data;
    };
    std::mt19937 random(29);
    // Lines of random divisions: many positions shared, some a few per bucket apart.
    const auto randomLines = [&](int count) {
        const int channels[] = {1, 1, 4, 6, 7, 11, 11, 12, 51, 51, 61};
        const int divisions[] = {1, 2, 3, 4, 5, 6, 7, 8, 12, 16, 24, 32, 48, 64, 96, 192, 1024};
        const char* values[] = {"00", "00", "01", "0A", "1Z", "ZZ", "zz", "Z0"};
        QByteArray text;
        for (int l = 0; l < count; ++l) {
            const int channel = channels[random() % std::size(channels)];
            text += "#001" + QByteArray::number(channel).rightJustified(2, '0') + ':';
            for (int k = divisions[random() % std::size(divisions)]; k > 0; --k) {
                text += values[random() % std::size(values)];
            }
            text += '\n';
        }
        return text;
    };
    // A line of n pairs, "00" but for value at place k.
    const auto onePair = [](int n, int k, const char* value) {
        return QByteArray(2 * n, '0').replace(2 * k, 2, value);
    };
    struct Case {
        QByteArray header;
        QByteArray lines;
    };
    const QByteArray header = "#BPM 130\n#BPM01 90\n#BPM02 200\n#STOP01 24\n#LNOBJ ZZ\n";
    const Case cases[] = {
        // 2/4 is 1/2: "03" replaces "02"; "00" replaces nothing.
        {header, "#00111:0102\n#00111:00000300\n"},
        // Stacked background lines, the later with the smaller values.
        {header, "#00101:0Z0Z\n#00101:0A\n#00101:000001\n"},
        // One lane's long notes over two lines, and an #LNOBJ end in a second key line.
        {header, "#00151:01000100\n#00151:00020002\n#00111:0300\n#00111:00ZZ\n"},
        // 1,024 pairs beside 3 and 7: several positions to a bucket.
        {header, "#00111:" + QByteArray("0A0B", 4).repeated(512) + "\n#00112:0A0B0C\n#00113:" +
                     pairs({"01", "02", "03", "04", "05", "06", "07"}) + "\n#00112:0D\n"},
        // Tempo changes and stops at the pairs' positions and between them.
        {header,
         "#00108:0102\n#00109:000001\n#00103:0000000078\n#00111:010203\n#00101:0102030405\n"},
        // Positions of measure 1 so close that they round to one time: by channel, not position.
        {"#BPM 0.000001\n#BPM01 1000000000\n#LNOBJ ZZ\n",
         "#00108:01\n#00112:0001\n#00111:" + onePair(32, 17, "01") +
             "\n#00151:" + onePair(35, 34, "01") + "\n#00211:01\n"},
        // Base 62, whose #LNOBJ is case-sensitive; tempos in lower case, a bad digit, and a
        // character beyond ASCII among the pairs.
        {"#BASE 62\n#LNOBJ zz\n",
         "#00111:0Zzz\n#00111:00ZZ\n#00103:ff0gFF\n#00112:01\xe9"
         "101\n"},
        // Divisions whose common multiple is the largest ordered on it, and one more.
        {header, "#00107:" + onePair(4095, 4000, "01") + "\n#00111:" + onePair(4096, 4001, "02") +
                     "\n#00211:" + onePair(4096, 7, "03") +
                     "\n#00212:" + onePair(4097, 4096, "04") + '\n'},
        {header, randomLines(12)},
        {header, randomLines(40)},
        {header, randomLines(40)},
    };
    const QByteArray beyondAGrid =
        "#00104:" + QByteArray(2 * 4099, '0') + "\n#00104:" + QByteArray(2 * 4111, '0') + '\n';
    // Every field of a timeline, each double as its exact bits.
    const auto exactly = [](const Timeline& timeline) {
        Strings out;
        const auto add = [&](std::initializer_list<double> values) {
            std::string line;
            for (const double v : values) {
                char text[32];
                std::snprintf(text, sizeof text, "%a ", v);
                line += text;
            }
            out.push_back(line);
        };
        for (const TimedEvent& e : timeline.events) {
            add({e.timeMs, static_cast<double>(e.channel), static_cast<double>(e.value),
                 static_cast<double>(e.continues)});
        }
        for (const MeasureAnchor& m : timeline.measures) {
            add({m.measure, m.timeMs, m.stopMs, m.msPerMeasure});
        }
        for (const LongNote& n : timeline.longNotes) {
            add({n.startMs, n.endMs, static_cast<double>(n.channel)});
        }
        for (const TimingMark& m : timeline.timingMarks) {
            add({m.timeMs, m.bpm, m.stopMs});
        }
        return out;
    };
    const ReadOptions full{ReadingMode::Full, 1};
    for (const auto& [chartHeader, lines] : cases) {
        SCOPED_TRACE(lines.left(200).toStdString());
        const Chart onGrid =
            readChartBytes(chartHeader + lines, u"/nonexistent/"_qs, nullptr, full);
        const Chart merged =
            readChartBytes(chartHeader + lines + beyondAGrid, u"/nonexistent/"_qs, nullptr, full);
        const std::vector<TimedEvent>& events = onGrid.timeline().events;
        ASSERT_FALSE(events.empty());
        EXPECT_TRUE(std::is_sorted(events.begin(), events.end(), [](TimedEvent a, TimedEvent b) {
            return std::tuple(double{a.timeMs}, unsigned{a.channel}, int{a.value}) <
                   std::tuple(double{b.timeMs}, unsigned{b.channel}, int{b.value});
        }));
        EXPECT_EQ(exactly(onGrid.timeline()), exactly(merged.timeline()));
    }
}

// The table the sorter leaves (with sortEvents when it could not keep the order) is the table of
// the lines' events, each pair at floor((192 / n) x h) of its measure, sorted by the texts.
TEST(MeasureSorter, AnyLineOrderGivesTheTextOrder) {
    struct Line {
        int measure;
        int pairs;
        int zeros;             // of 256 pairs, about how many are "00"
        int channel = 0;       // 0: any
        int leadingZeros = 0;  // "00" pairs before any others
    };
    std::mt19937 random(3);
    const auto lines = [&](std::vector<int> measures, int pairs, int zeros) {
        std::vector<Line> out;
        for (const int m : measures) {
            out.push_back({m >= 0 ? m : static_cast<int>(random() % 4),
                           pairs != 0 ? pairs : 1 + static_cast<int>(random() % 300), zeros});
        }
        return out;
    };
    std::vector<int> byEight;
    for (int line = 0; line < 40; ++line) {
        byEight.push_back(line / 8);
    }
    // 256 lines of 256 pairs, none "00": the most events a measure may hold and stay keyed.
    const std::vector<Line> keyedLimit = lines(std::vector<int>(256, 1), 256, 0);
    std::vector<Line> beyondLimit = keyedLimit;
    beyondLimit.push_back({1, 1, 0});
    // Lines of one channel meet at every tick: a move or none at each.
    const std::vector<Line> meetAtTicks = {{2, 192, 0, 11}, {2, 96, 0, 4}, {2, 192, 0, 11}};
    // 300 lines of one channel at tick 0: far more moves than events.
    const std::vector<Line> pileAtOneTick(300, {5, 1, 0, 16});
    std::vector<Line> pileOfTwoChannels;
    for (int i = 0; i < 300; ++i) {
        pileOfTwoChannels.push_back({5, 1, 0, i % 2 == 0 ? 11 : 16});
    }
    std::vector<Line> measuresAfterTheLimit = beyondLimit;
    measuresAfterTheLimit.insert(measuresAfterTheLimit.end(), {{0, 8, 0}, {2, 8, 0}});
    struct Case {
        const char* name;
        std::vector<Line> lines;
        bool inOrder;
    };
    const Case cases[] = {
        {"measures in order", lines(byEight, 0, 128), true},
        {"measures in any order", lines(std::vector<int>(40, -1), 0, 128), false},
        {"a measure again after another", lines({0, 0, 1, 0}, 0, 128), false},
        {"a measure again after one without events", {{3, 5, 0}, {4, 9, 256}, {3, 7, 0}}, false},
        {"a line without events back at an earlier measure",
         {{2, 4, 0}, {3, 5, 0}, {2, 9, 256}, {1, 3, 256}, {3, 7, 0}, {4, 6, 0}},
         true},
        {"as many events as may be keyed", keyedLimit, true},
        {"one event more", beyondLimit, false},
        {"lines of one channel meeting at ticks", meetAtTicks, true},
        {"lines of one channel piled at a tick", pileAtOneTick, true},
        {"lines of two channels piled at a tick", pileOfTwoChannels, true},
        {"back before a measure of lines without events",
         {{1, 4, 0}, {3, 5, 256}, {2, 6, 0}},
         true},
        // The line's first chunk of pairs keeps nothing; the second goes back.
        {"a line going back after a chunk without events",
         {{2, 4, 0}, {3, 40, 0}, {1, 600, 0, 0, 300}},
         false},
        {"measures after one beyond the limit", measuresAfterTheLimit, false},
    };
    const int channels[] = {1, 4, 6, 7, 11, 16, 21, 26};
    for (const Case& c : cases) {
        std::vector<Event> events;
        std::vector<BarLength> barLengths;
        MeasureSorter sorter(events);
        ChannelParser parser(sorter, barLengths);
        std::vector<Event> expected;
        for (const Line& line : c.lines) {
            const int channel = line.channel != 0 ? line.channel : channels[random() % 8];
            QString data;
            for (int h = 0; h < line.pairs; ++h) {
                const int value =
                    h < line.leadingZeros || static_cast<int>(random() % 256) < line.zeros
                        ? 0
                        : 1 + static_cast<int>(random() % 255);
                data += QString::number(value, 16).rightJustified(2, u'0');
                if (value != 0) {
                    Event e;
                    e.position = std::int64_t{line.measure} * 192 +
                                 static_cast<std::int64_t>(192.0 / line.pairs * h);
                    e.channel = static_cast<std::uint8_t>(channel);
                    e.value = value;
                    expected.push_back(e);
                }
            }
            parser.parse(u"#%1%2:%3"_qs.arg(line.measure, 3, 10, QChar(u'0'))
                             .arg(channel, 2, 10, QChar(u'0'))
                             .arg(data));
        }
        sorter.finish();
        EXPECT_EQ(sorter.inOrder(), c.inOrder) << c.name;
        if (!sorter.inOrder()) {
            sortEvents(events, {});
        }
        std::sort(expected.begin(), expected.end(), EventOrder({}));
        EXPECT_EQ(testing::textsOf(events, {}), testing::textsOf(expected, {})) << c.name;
    }
}

std::string written(TimedEventTexts& texts, const TimedEvent& event) {
    char text[TimedEventTexts::kMaxText];
    return {text, texts.write(text, event)};
}

// Times print as printf's "%.3f" prints them, rounding the exact value half to even.
TEST(TimedEventText, RoundsLikePrintf) {
    const double times[] = {0.0,
                            0.0005,
                            0.0015,
                            0.0025,
                            2.5e-4,
                            1234.5675,
                            1234.5665,
                            0.1 + 0.2,
                            1e-310,
                            123456789.0125,
                            8999999999999999.0,
                            9e15,
                            1e300,
                            -1.5,
                            std::numeric_limits<double>::infinity()};
    std::mt19937_64 random(5);
    std::vector<double> all(std::begin(times), std::end(times));
    for (int i = 0; i < 2000; ++i) {
        all.push_back(
            std::ldexp(static_cast<double>(random() >> 11), -static_cast<int>(random() % 60)));
    }
    // Each time twice in a row, the second time with another channel and value, through the
    // texts that reuse a time's text as well.
    TimedEventTexts texts;
    for (const double t : all) {
        for (const auto& [channel, value, tail] :
             {std::tuple{37, 5, ",11,5"}, std::tuple{1295, kMaxTimedValue, ",ZZ,524287"}}) {
            TimedEvent event;
            event.timeMs = t;
            event.channel = static_cast<std::uint32_t>(channel);
            event.value = value;
            char expected[400];
            std::snprintf(expected, sizeof expected, "%.3f%s", t, tail);
            std::string got;
            appendTimedEventText(got, event);
            EXPECT_EQ(got, expected) << t;
            EXPECT_EQ(written(texts, event), expected) << t;
        }
    }
}

// The tails written from tables agree with the digits written one by one, on either side of each
// width and of the tables' end.
TEST(TimedEventText, TailsFromTablesAreTheWrittenTails) {
    TimedEventTexts texts;
    for (const std::uint32_t channel : {0u, 1u, 35u, 36u, 1295u, 1296u, 2047u}) {
        for (const int value : {0, 9, 10, 99, 100, 999, 1000, 1295, 1296, kMaxTimedValue}) {
            TimedEvent event;
            event.timeMs = 12.5;
            event.channel = channel;
            event.value = value;
            std::string expected;
            appendTimedEventText(expected, event);
            EXPECT_EQ(written(texts, event), expected) << channel << " " << value;
        }
    }
}

}  // namespace
}  // namespace carvel
