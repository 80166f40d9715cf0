#include <gtest/gtest.h>

#include "testing/qt_printers.h"

#include <QTemporaryDir>
#include <cmath>
#include <cstdio>
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
    const int channels[] = {1, 1, 4, 6, 7, 11, 12, 13, 14, 15, 16, 21, 22, 23};
    const int divisions[] = {2, 3, 8, 48, 192, 1009, 1013, 1021};
    for (int round = 0; round < 6; ++round) {
        QByteArray timing = "#BPM 130\n#BPM01 90\n#STOP01 24\n";
        QByteArray tempo(2 * 1019, '0');  // tempo changes and stops on a division of 1019
        QByteArray stops(2 * 1019, '0');
        for (int k = 0; k < 150; ++k) {
            tempo.replace(2 * static_cast<int>(random() % 1019), 2, k % 2 == 0 ? "78" : "A0");
            stops.replace(2 * static_cast<int>(random() % 1019), 2, "01");
        }
        timing += "#00003:" + tempo + "\n#00009:" + stops + '\n';
        std::vector<QByteArray> lines;
        for (int line = 0; line < 7; ++line) {
            const int n = divisions[random() % std::size(divisions)];
            QByteArray data;
            for (int k = 0; k < n; ++k) {
                data += random() % 3 == 0
                            ? QByteArray::number(1 + random() % 255, 16).rightJustified(2, '0')
                            : QByteArray("00");
            }
            // Each channel but the background's once: lines of one channel would merge.
            const int channel = line < 2 ? 1 : channels[2 + line];
            lines.push_back("#000" + QByteArray::number(channel).rightJustified(2, '0') + ':' +
                            data + '\n');
        }
        const ReadOptions full{ReadingMode::Full, 1};
        std::vector<TimedEvent> expected;
        QByteArray whole = timing;
        for (const QByteArray& line : lines) {
            whole += line;
            const Chart alone = readChartBytes(timing + line, u"/nonexistent/"_qs, nullptr, full);
            const auto& events = alone.timeline().events;
            expected.insert(expected.end(), events.begin(), events.end());
        }
        const Chart chart = readChartBytes(whole, u"/nonexistent/"_qs, nullptr, full);
        Strings got;
        for (const TimedEvent& e : chart.timeline().events) {
            std::string text;
            appendTimedEventText(text, e);
            got.push_back(text);
        }
        Strings want;
        for (const TimedEvent& e : expected) {
            std::string text;
            appendTimedEventText(text, e);
            want.push_back(text);
        }
        std::sort(got.begin(), got.end());
        std::sort(want.begin(), want.end());
        ASSERT_GT(want.size(), 64U);
        EXPECT_EQ(got, want) << round;
    }
}

// The table the sorter leaves (with sortEvents when it could not keep the order) is the table
// sorted by the texts, in any line order.
TEST(MeasureSorter, AnyLineOrderGivesTheTextOrder) {
    struct Case {
        const char* name;
        std::vector<int> measures;  // of the lines, in order; -1 draws one of 0-3
        int pairs;                  // per line; 0 draws 1-300
        int silentLine;             // a line whose pairs are all "00"; -1 for none
        bool inOrder;
    };
    const std::vector<int> random40(40, -1);
    std::vector<int> byEight;
    for (int line = 0; line < 40; ++line) {
        byEight.push_back(line / 8);
    }
    const Case cases[] = {
        {"measures in order", byEight, 0, -1, true},
        {"measures in any order", random40, 0, -1, false},
        {"a measure again after another", {0, 0, 1, 0}, 0, -1, false},
        {"a measure again after one without events", {3, 4, 3}, 0, 1, false},
        {"a measure too large to key", std::vector<int>(230, 1), 300, -1, false},
        {"a measure as large as may be keyed", std::vector<int>(218, 1), 300, -1, true},
    };
    std::mt19937 random(3);
    const int channels[] = {1, 4, 6, 7, 11, 16, 21, 26};
    for (const Case& c : cases) {
        std::vector<Event> events;
        std::vector<BarLength> barLengths;
        MeasureSorter sorter(events);
        ChannelParser parser(sorter, barLengths);
        std::vector<Event> expected;  // each line parsed on its own
        for (size_t line = 0; line < c.measures.size(); ++line) {
            QString data;
            const int pairs = c.pairs != 0 ? c.pairs : 1 + static_cast<int>(random() % 300);
            for (int p = 0; p < pairs; ++p) {
                const auto value = static_cast<int>(line) == c.silentLine ? 0 : random() % 256;
                data += QString::number(value, 16).rightJustified(2, u'0');
            }
            const int measure =
                c.measures[line] >= 0 ? c.measures[line] : static_cast<int>(random() % 4);
            const QString text = u"#%1%2:%3"_qs.arg(measure, 3, 10, QChar(u'0'))
                                     .arg(channels[random() % 8], 2, 10, QChar(u'0'))
                                     .arg(data);
            parser.parse(text);
            std::vector<Event> alone;
            MeasureSorter aloneSorter(alone);
            ChannelParser aloneParser(aloneSorter, barLengths);
            aloneParser.parse(text);
            aloneSorter.finish();
            expected.insert(expected.end(), alone.begin(), alone.end());
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
