#include <gtest/gtest.h>
#include <sys/stat.h>

#include "testing/qt_printers.h"

#include <QFile>
#include <QTemporaryDir>
#include <set>

#include "chart/chart_reader.h"
#include "chart/timed_event_text.h"
#include "testing/fakes.h"
#include "testing/test_files.h"

namespace carvel {
namespace {

using Status = ReadResult::Status;
using Strings = std::vector<std::string>;

Chart readFull(const QString& text, std::uint32_t seed = 7) {
    return readChartText(text, u"/nonexistent/"_qs, nullptr, {ReadingMode::Full, seed});
}

Strings timedEvents(const Chart& chart) {
    Strings out(chart.timeline().events.size());
    for (size_t i = 0; i < out.size(); ++i) {
        appendTimedEventText(out[i], chart.timeline().events[i]);
    }
    return out;
}

// Each as "kind index indexText [name] [file found]", and whether a picture is no bitmap.
Strings mediaTexts(const Chart& chart) {
    const QString kinds[] = {u"sound"_qs, u"picture"_qs, u"stage"_qs};
    Strings out;
    for (const MediaRequest& r : chart.media) {
        const QString file = QString(r.file.path).replace(chart.folder, u"./"_qs);
        out.push_back(u"%1 %2 %3 [%4] [%5]%6"_qs
                          .arg(kinds[static_cast<int>(r.kind)], QString::number(r.index),
                               r.indexText, r.name, file,
                               r.notBitmap ? u" not a bitmap"_qs : QString())
                          .toStdString());
    }
    return out;
}

class ReaderTest : public ::testing::Test {
  protected:
    QString path(const QString& name) const { return dir.path() + u'/' + name; }
    ReadResult read(const QByteArray& text) {
        testing::writeBytes(path(u"c.bms"_qs), text);
        return readChart(path(u"c.bms"_qs));
    }
    static Strings events(const Chart& chart) {
        return testing::textsOf(chart.table().events, chart.table().barEndRatios);
    }

    QTemporaryDir dir;
};

TEST_F(ReaderTest, FilesThatAreNotRead) {
    testing::writeBytes(path(u"big.bms"_qs), {});
    ASSERT_TRUE(QFile::resize(path(u"big.bms"_qs), kMaxChartBytes + 1));  // sparse: costs no disk
    ASSERT_EQ(::mkfifo(QFile::encodeName(path(u"pipe.bms"_qs)).constData(), 0644), 0);
    struct Case {
        QString path;
        Status status;
    };
    const Case cases[] = {
        {path(u"none.bms"_qs), Status::NotFound},
        {dir.path(), Status::NotFound},            // a folder is no chart
        {path(u"pipe.bms"_qs), Status::NotFound},  // nor a FIFO, and reading it does not block
        {path(u"big.bms"_qs), Status::TooLarge},
        {QString(), Status::NotFound},
    };
    for (const Case& c : cases) {
        const ReadResult result = readChart(c.path);
        EXPECT_EQ(result.status, c.status) << c.path.toStdString();
        EXPECT_EQ(testing::fieldsText(result.chart),
                  u"TITLE : undifined\r\nGENRE : undifined\r\nARTIST : undifined\r\nBPM : 130"_qs);
    }
}

TEST_F(ReaderTest, HeaderFields) {
    struct Case {
        QByteArray text;
        QString title;
        int bpm;
    };
    const Case cases[] = {
        {"#title My Song\n", u"My Song"_qs, 130},
        {"#TITLE\n #TITLE x\n", u"undifined"_qs, 130},
        {"#TITLE \n", u""_qs, 130},
        {"#TITLE a\n#TITLE b\n", u"b"_qs, 130},
        {"#BPM 150.5\n", u"undifined"_qs, 150},
        {"#BPM 151.5\n", u"undifined"_qs, 152},
        {"#bpm 180\n", u"undifined"_qs, 180},
        // Unusable tempos keep the previous one.
        {"#BPM 150\n#BPM abc\n#BPM 0.4\n#BPM -20\n#BPM 40000\n#BPM 1e400\n#BPM nan\n",
         u"undifined"_qs, 150},
        {"#BPM 32767\n", u"undifined"_qs, 32767},
        // CP932 and UTF-8 text (a mark skipped whichever decoding reads the rest); CR line ends.
        {"#TITLE \x83\x65\x83\x58\x83\x67\r\n", u"テスト"_qs, 130},
        {"\xEF\xBB\xBF#TITLE \xE6\x9B\xB2\r\n", u"曲"_qs, 130},
        {"\xEF\xBB\xBF#TITLE \x83\x65\r\n#BPM 99\r\n", u"テ"_qs, 99},
        {"#TITLE a\r#BPM 99\r", u"a"_qs, 99},
    };
    for (const Case& c : cases) {
        const ReadResult result = read(c.text);
        EXPECT_EQ(result.status, Status::Read);
        EXPECT_EQ(result.chart.title, c.title) << c.text.toStdString();
        EXPECT_EQ(result.chart.bpm, c.bpm) << c.text.toStdString();
    }
    EXPECT_EQ(testing::fieldsText(read("#GENRE g\n#ARTIST a b\n#TITLE t\n#BPM 150\n").chart),
              u"TITLE : t\r\nGENRE : g\r\nARTIST : a b\r\nBPM : 150"_qs);
}

TEST_F(ReaderTest, MediaLinesNameTheirFiles) {
    for (const QString& name :
         {u"Kick.WAV"_qs, u"snd/snare.wav"_qs, u"pic.bmp"_qs, u"pic.jpg"_qs}) {
        testing::writeBytes(path(name), "x");
    }
    const Chart chart = read(
                            "#00111:0A01\n"
                            "#wav0a kick.wav\n"
                            "#WAVzz x.wav\n"
                            "#WAV03 snd\\SNARE.wav  \n"
                            "#BMP02 pic.jpg\n"
                            "#BMP03 pic.bmp   \n"
                            "#BMP04 pic.bmp\n"
                            "#STAGEFILE  pic.jpg \n"
                            "#WAVFF\n")
                            .chart;
    EXPECT_EQ(mediaTexts(chart),
              (Strings{
                  "sound 10 0a [kick.wav] [./Kick.WAV]",
                  "sound 0 zz [x.wav] []",
                  "sound 3 03 [snd\\SNARE.wav] [./snd/snare.wav]",
                  "picture 2 02 [pic.jpg] [./pic.jpg] not a bitmap",
                  // The format test looks at the end of the line as written, spaces and all.
                  "picture 3 03 [pic.bmp] [./pic.bmp] not a bitmap",
                  "picture 4 04 [pic.bmp] [./pic.bmp]",
                  "stage 0  [pic.jpg] [./pic.jpg]",
                  "sound 255 FF [] []",
              }));
    EXPECT_EQ(events(chart), (Strings{"000192,11,10", "000288,11,1"}));
}

TEST_F(ReaderTest, EventTable) {
    struct Case {
        QByteArray text;
        int fullOnlyLines;  // for carvel-info's note: the lines only the full reading plays
        Strings events;
    };
    const Case cases[] = {
        {"#00311:01010000\n#00302:0.75\n#00411:0000000001\n#00302:0.75\n"
         "#00404:01\n#00401:02\n#00416:03\n",
         0,
         {"000576,11,1", "000612,11,1", "000720,2,0.75", "000768,1,2", "000768,16,3", "000768,4,1",
          "000921,11,1"}},
        // Two identical lines give every event twice.
        {"#00111:01\n#00111:01\n", 0, {"000192,11,1", "000192,11,1"}},
        {"#WAVZZ a.wav\n#WAV0F b.wav\n#RANDOM 2\n#IF 1\n#00103:78\n#00108:01\n#00109:01\n"
         "#00118:01\n#00128:01\n#00151:01\n#00169:01\n#00111:0G\n#00111:0F\n#00131:01\n",
         10,
         {"000192,11,15"}},
    };
    for (const Case& c : cases) {
        const Chart chart = read(c.text).chart;
        EXPECT_EQ(events(chart), c.events) << c.text.toStdString();
        EXPECT_EQ(chart.table().fullOnlyLines, c.fullOnlyLines) << c.text.toStdString();
    }
    // The last line holds 20000 pairs, more than a 16-bit count holds.
    QByteArray many;
    for (int m = 0; m < 200; ++m) {
        many += "#" + QByteArray::number(m).rightJustified(3, '0') +
                "11:" + QByteArray(m < 199 ? 384 : 40000, '1') + "\n";
    }
    const Chart chart = read(many).chart;
    EXPECT_EQ(chart.table().events.size(), 199u * 192u + 20000u);
    EXPECT_EQ(eventText(chart.table().events.back(), {}), "038399,11,17");
}

// A bar end stands before the first event, of those already passed, that sorts after it. The
// search goes by blocks of events, so the cases put that event in the first, a middle and the last
// block, on a block's first event, and behind blocks whose own events all sort before the bar end.
TEST_F(ReaderTest, BarEndAmongStretchedEvents) {
    const auto notes = [](int measure, int count) {
        return "#" + QByteArray::number(measure).rightJustified(3, '0') +
               "11:" + QByteArray("01").repeated(count) + "\n";
    };
    struct Case {
        QByteArray text;
        size_t index;  // of the bar end in the table
        std::string barEnd;
        size_t size;
    };
    // Measure 0 (N notes, ratio 4) is stretched past measure 1's bar end at 480, placed when
    // measure 2's note is reached: before note J of measure 0, the first with 4 floor(192 J / N) >
    // 480.
    const auto stretched = [&](int n, size_t j) {
        return Case{"#00002:4\n" + notes(0, n) + "#00102:1.5\n#00111:01\n#00211:0001\n", j,
                    "000480,2,1.5", static_cast<size_t>(n) + 4};
    };
    const Case cases[] = {
        stretched(40, 26),
        stretched(100, 64),
        stretched(128, 81),
        stretched(150, 95),
        stretched(400, 253),
        // 64 notes a measure. Measure 1 (ratio 40) reaches 7752; measures 2-4 stay below 960.
        // Measure 4's bar end (864) is placed when measure 5 is reached: before note 6 of measure
        // 1 (912), three blocks back.
        {"#00102:40\n#00402:0.5\n" + notes(0, 64) + notes(1, 64) + notes(2, 64) + notes(3, 64) +
             notes(4, 64) + "#00511:0001\n",
         70, "000864,2,0.5", 64 * 5 + 3},
    };
    for (const Case& c : cases) {
        const Strings lines = events(read(c.text).chart);
        ASSERT_EQ(lines.size(), c.size) << c.text.left(40).toStdString();
        EXPECT_EQ(lines[c.index], c.barEnd) << c.text.left(40).toStdString();
    }
}

// Times written by hand: at 120 BPM a beat lasts 500 ms and a 4-beat measure 2000 ms.
TEST(FullReader, EventTimes) {
    struct Case {
        const char* name;
        QString text;
        Strings events;
    };
    const Case cases[] = {
        {"tempo change: from beat 2 on, 240 BPM (F0)",
         u"#BPM 120\n#00011:01010101\n#00003:00F0\n#00011:00000000000000000000000000000002\n"
         "#00111:01\n"_qs,
         {"0.000,11,1", "500.000,11,1", "1000.000,11,1", "1250.000,11,1", "1437.500,11,2",
          "1500.000,11,1"}},
        {"fractional tempos as written, from #BPM and #BPMxx",
         u"#BPM 150.5\n#BPM0a 120.25\n#00011:01\n#00111:01\n#00108:000A\n#00211:01\n"_qs,
         {"0.000,11,1", "1594.684,11,1", "3389.948,11,1"}},
        {"a stop at a note: the note sounds when the stop begins",
         u"#BPM 120\n#STOP01 96\n#00009:0001\n#00011:01010101\n"_qs,
         {"0.000,11,1", "500.000,11,1", "1000.000,11,1", "2500.000,11,1"}},
        {"tempo and stop at one position: 08 wins over 03, the stop runs at the new tempo",
         u"#BPM 120\n#BPM01 240\n#STOP01 96\n#00008:0001\n#00003:00FF\n#00009:0001\n"
         "#00011:01010101\n"_qs,
         {"0.000,11,1", "500.000,11,1", "1000.000,11,1", "1750.000,11,1"}},
        {"#EXBPMxx is #BPMxx: the later line of either spelling stands",
         u"#BPM 120\n#BPM01 60\n#EXBPM01 240\n#00008:0001\n#00011:01010101\n"_qs,
         {"0.000,11,1", "500.000,11,1", "1000.000,11,1", "1250.000,11,1"}},
        {"ignored changes: tempo 0, undefined index, stop 0; the 03 under an ignored 08 counts",
         u"#BPM 120\n#BPM01 0\n#STOP02 0\n#00008:0103\n#00009:0002\n#00003:00F0\n"
         "#00011:01010101\n"_qs,
         {"0.000,11,1", "500.000,11,1", "1000.000,11,1", "1250.000,11,1"}},
        {"the later of two 03 at one position; a later #BPMxx replaces an earlier one",
         u"#BPM 120\n#BPM01 60\n#00003:F0\n#00003:3C\n#00108:01\n#00111:0101\n#BPM01 30\n"_qs,
         {"4000.000,11,1", "8000.000,11,1"}},
        {"measure lengths: 1.5 and 0.125, the last valid 02 line wins",
         u"#BPM 120\n#00002:0.5\n#00002:1.5\n#00002:0\n#00102:0.125\n#00011:010101\n"
         "#00111:0101\n#00211:01\n"_qs,
         {"0.000,11,1", "1000.000,11,1", "2000.000,11,1", "3000.000,11,1", "3125.000,11,1",
          "3250.000,11,1"}},
        {"base-36 indexes in either case; characters outside the alphabet are empty slots",
         u"#BPM 120\n#00011:ZZzz0z!!\n#00004:a0\n"_qs,
         {"0.000,04,360", "0.000,11,1295", "500.000,11,1295", "1000.000,11,35"}},
        {"#BASE 62, wherever it stands: case-sensitive indexes",
         u"#00011:zzZZ0z\n#BASE 62\n"_qs,
         {"0.000,11,3843", "615.385,11,2205", "1230.769,11,61"}},
        {"long notes pair up per lane across measures, only starts sound",
         u"#BPM 120\n#00051:01000200\n#00051:00000003\n#00151:04\n#00061:07\n"_qs,
         {"0.000,51,1", "0.000,61,7", "1500.000,51,3"}},
        {"#LNOBJ: the last definition, for key lanes only",
         u"#BPM 120\n#LNOBJ 02\n#00011:0102ZZ03\n#00051:ZZ\n#LNOBJ ZZ\n"_qs,
         {"0.000,11,1", "0.000,51,1295", "500.000,11,2", "1500.000,11,3"}},
        {"odd-length data: the lone last character is ignored; blanks and indentation dropped",
         u"#BPM 120\n  #00011:  01020  \n\t#00012:0\n"_qs,
         {"0.000,11,1", "1000.000,11,2"}},
        {"played channels, several lines per measure; not 05, 31-49, D1-E9, 1A",
         u"#BPM 120\n#00101:01\n#00101:02\n#00119:03\n#00129:04\n#00169:05\n#00106:06\n"
         "#00107:07\n#00105:08\n#00131:09\n#00149:0A\n#001D1:0B\n#001E9:0C\n#0011A:0D\n"_qs,
         {"2000.000,01,1", "2000.000,01,2", "2000.000,06,6", "2000.000,07,7", "2000.000,19,3",
          "2000.000,29,4", "2000.000,69,5"}},
        {"nested branches with #SETRANDOM; #RANDOM 1 draws 1; #RANDOM 0 chooses no #IF",
         u"#SETRANDOM 2\n#IF 1\n#00111:01\n#ELSEIF 2\n  #SETRANDOM 1\n  #IF 1\n  #00112:02\n"
         "  #ELSE\n  #00113:03\n  #ENDIF\n#ELSE\n#00114:04\n#ENDIF\n#00115:05\n"
         "#RANDOM 1\n#IF 1\n#00116:06\n#ENDIF\n#ENDRANDOM\n"
         "#RANDOM 0\n#IF 1\n#00118:08\n#ELSE\n#00119:09\n#ENDIF\n"_qs,
         {"1846.154,12,2", "1846.154,15,5", "1846.154,16,6", "1846.154,19,9"}},
        {"an #ENDIF closes a #RANDOM opened in its branch",
         u"#SETRANDOM 1\n#IF 1\n#SETRANDOM 2\n#IF 1\n#00011:01\n#ENDIF\n#ENDIF\n#IF 1\n"
         "#00012:02\n#ENDIF\n"_qs,
         {"0.000,12,2"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(timedEvents(readFull(c.text)), c.events) << c.name;
    }
}

// Several lines of one measure and one channel: at each position the last non-empty pair stands.
TEST(FullReader, LinesOfOneMeasureAndChannelMerge) {
    struct Case {
        const char* name;
        QString text;
        Strings events;
    };
    const Case cases[] = {
        {"the example of the command memo: 01 05 03 06",
         u"#00111:01020304\n#00111:00050006\n"_qs,
         {"2000.000,11,1", "2500.000,11,5", "3000.000,11,3", "3500.000,11,6"}},
        {"1/2 and 2/4 are one position; 00 never erases",
         u"#00011:0001\n#00011:00000200\n#00011:0000\n"_qs,
         {"1000.000,11,2"}},
        {"background sounds stack",
         u"#00001:01\n#00001:01\n#00001:0002\n"_qs,
         {"0.000,01,1", "0.000,01,1", "1000.000,01,2"}},
        {"one stop of a position however many lines name it",
         u"#STOP01 96\n#00009:01\n#00009:01\n#00011:0001\n"_qs,
         {"2000.000,11,1"}},
        {"pictures: the later one at a position", u"#00004:01\n#00004:02\n"_qs, {"0.000,04,2"}},
        {"long notes alternate start and end over the merged pairs",
         u"#00051:0102\n#00051:0300\n#00151:04\n"_qs,
         {"0.000,51,3", "2000.000,51,4"}},
        {"only an #LNOBJ pair that stands ends a note",
         u"#LNOBJ 02\n#00011:0101\n#00011:0002\n#00012:0102\n#00012:0003\n"_qs,
         {"0.000,11,1", "0.000,12,1", "1000.000,12,3"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(timedEvents(readFull(u"#BPM 120\n"_qs + c.text)), c.events) << c.name;
    }
}

// A measure of more long-note pairs than an event's value can count keeps those it can.
TEST(FullReader, MoreLongNotePairsThanAValueCounts) {
    const Chart chart = readFull(u"#00051:"_qs + u"01"_qs.repeated(kMaxTimedValue + 2));
    ASSERT_EQ(chart.timeline().events.size(), static_cast<size_t>(kMaxTimedValue + 1) / 2);
    EXPECT_EQ(chart.timeline().events.back().value, 1);
}

// Measures 1-5 at 120 BPM begin at 2000 ms, 4000 ms, ... and each line names its own sound.
TEST(FullReader, SwitchBlocks) {
    struct Case {
        const char* name;
        QString text;
        QList<int> read;  // the sounds of the lines read
    };
    const Case cases[] = {
        {"reading starts at the matching #CASE and falls through to a #SKIP",
         u"#SETSWITCH 2\n#00111:01\n#CASE 1\n#00112:02\n#SKIP\n#CASE 2\n#00113:03\n"
         "#CASE 3\n#00114:04\n#SKIP\n#DEF\n#00115:05\n#ENDSW\n#00116:06\n"_qs,
         {3, 4, 6}},
        {"#DEF when no case matches, wherever it stands, falling through too",
         u"#SETSWITCH 9\n#DEF\n#00111:01\n#CASE 1\n#00112:02\n#SKIP\n#CASE 2\n#00113:03\n"
         "#ENDSW\n"_qs,
         {1, 2}},
        {"no #DEF when a later case matches",
         u"#SETSWITCH 2\n#DEF\n#00111:01\n#SKIP\n#CASE 2\n#00112:02\n#ENDSW\n"_qs,
         {2}},
        {"a nested switch's cases are its own",
         u"#SETSWITCH 5\n#DEF\n#00111:01\n#SKIP\n#CASE 1\n#SETSWITCH 1\n#CASE 5\n#00112:02\n"
         "#ENDSW\n#ENDSW\n#00113:03\n"_qs,
         {1, 3}},
        {"only #ENDSW closes a switch; #IF blocks around it go on",
         u"#SETRANDOM 1\n#IF 1\n#SETSWITCH 2\n#CASE 2\n#00111:01\n#ENDIF\n#00112:02\n#ENDSW\n"
         "#ELSE\n#00113:03\n#ENDIF\n#00114:04\n"_qs,
         {1, 2, 4}},
        {"#SWITCH draws like #RANDOM; a switch in a branch not read reads nothing",
         u"#SWITCH 1\n#CASE 1\n#00111:01\n#ENDSW\n#SETRANDOM 2\n#IF 1\n#SETSWITCH 1\n"
         "#CASE 1\n#00112:02\n#ENDSW\n#ENDIF\n"_qs,
         {1}},
    };
    for (const Case& c : cases) {
        QList<int> read;
        const Chart chart = readFull(u"#BPM 120\n"_qs + c.text);
        for (const TimedEvent& e : chart.timeline().events) {
            read.append(e.value);
        }
        EXPECT_EQ(read, c.read) << c.name;
    }
}

TEST(FullReader, RandomDrawsFollowTheSeed) {
    QString text = u"#RANDOM 1000\n"_qs;
    for (int k = 1; k <= 1000; ++k) {
        text += u"#IF %1\n#00111:%2\n#ENDIF\n"_qs.arg(k).arg(k % 1295 + 1, 2, 36, QChar(u'0'));
    }
    const Strings first = timedEvents(readFull(text, 1));
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(timedEvents(readFull(text, 1)), first);
    std::set<Strings> draws{first};
    for (std::uint32_t seed = 2; seed < 6; ++seed) {
        draws.insert(timedEvents(readFull(text, seed)));
    }
    EXPECT_GT(draws.size(), 1u);
}

TEST(FullReader, HeaderAndMedia) {
    const Chart chart = readFull(
        u" #TITLE  Song \n#SUBTITLE  [Another]\n#BPM 222.220bpm\n#WAVzz a.wav\n"
        "#BMP0A b.png\n#WAV00 c.wav\n#WAV!! d.wav\n#WAV01\n#STAGEFILE s.bmp\n#BMP00 m.bmp\n"
        "#PLAYLEVEL 12\n#DIFFICULTY 4\n"_qs);
    EXPECT_EQ(testing::fieldsText(chart),
              u"TITLE : Song\r\nSUBTITLE : [Another]\r\nGENRE : undifined\r\nARTIST : "
              "undifined\r\nBPM : 222.22\r\nPLAYLEVEL : 12\r\nDIFFICULTY : 4"_qs);
    // #BMP00 is the Miss picture of a chart that chooses none.
    EXPECT_EQ(mediaTexts(chart), (Strings{"sound 1295 zz [a.wav] []", "picture 10 0A [b.png] []",
                                          "stage 0  [s.bmp] []", "picture 0 00 [m.bmp] []"}));
    EXPECT_EQ(bpmText(readFull(u"#BPM -5\n"_qs)), u"130"_qs);
}

}  // namespace
}  // namespace carvel
