#include <gtest/gtest.h>

#include "testing/qt_printers.h"

#include "chart/chart_reader.h"
#include "chart/timed_event_text.h"

namespace carvel {
namespace {

using Strings = std::vector<std::string>;

Chart readFull(const QString& text, std::uint32_t seed = 7) {
    return readChartText(text, u"/nonexistent/"_qs, nullptr, {ReadingMode::Full, seed});
}

Strings timedEvents(const Chart& chart) {
    Strings out;
    for (const TimedEvent& e : chart.timedEvents) {
        std::string text;
        appendTimedEventText(text, e);
        out.push_back(text);
    }
    return out;
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
        {"tempo and stops at one position: 08 wins over 03, stops add up at the new tempo",
         u"#BPM 120\n#BPM01 240\n#STOP01 96\n#00008:0001\n#00003:00FF\n#00009:0001\n"
         "#00009:0000000001000000\n#00011:01010101\n"_qs,
         {"0.000,11,1", "500.000,11,1", "1000.000,11,1", "2250.000,11,1"}},
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
        {"long notes pair up per lane across measures, only starts sound; file order at one time",
         u"#BPM 120\n#00051:01000200\n#00051:00000003\n#00151:04\n#00052:05\n#00052:06\n"
         "#00061:07\n"_qs,
         {"0.000,51,1", "0.000,52,5", "0.000,61,7", "1500.000,51,3"}},
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

TEST(FullReader, RandomDrawsFollowTheSeed) {
    QString text = u"#RANDOM 1000\n"_qs;
    for (int k = 1; k <= 1000; ++k) {
        text += u"#IF %1\n#00111:%2\n#ENDIF\n"_qs.arg(k).arg(k % 1295 + 1, 2, 36, QChar(u'0'));
    }
    const Strings first = timedEvents(readFull(text, 1));
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(timedEvents(readFull(text, 1)), first);
    bool differs = false;
    for (std::uint32_t seed = 2; seed < 6; ++seed) {
        differs = differs || timedEvents(readFull(text, seed)) != first;
    }
    EXPECT_TRUE(differs);
}

TEST(FullReader, HeaderAndMedia) {
    const Chart chart = readFull(
        u" #TITLE  Song \n#SUBTITLE  [Another]\n#BPM 222.220bpm\n#WAVzz a.wav\n"
        "#BMP0A b.png\n#WAV00 c.wav\n#WAV!! d.wav\n#WAV01\n#STAGEFILE s.bmp\n"_qs);
    EXPECT_EQ(informationText(chart),
              u"TITLE : Song\r\nSUBTITLE : [Another]\r\nGENRE : undifined\r\nARTIST : "
              "undifined\r\nBPM : 222.22\r\nMODE : 拡張"_qs);
    ASSERT_EQ(chart.media.size(), 3u);
    EXPECT_EQ(chart.media[0].index, 1295);
    EXPECT_EQ(chart.media[0].indexText, u"zz"_qs);
    EXPECT_EQ(chart.media[1].index, 10);
    EXPECT_FALSE(chart.media[1].notBitmap);
    EXPECT_EQ(chart.media[2].kind, MediaRequest::Kind::Stage);
    EXPECT_EQ(informationText(readFull(u"#BPM -5\n"_qs)),
              u"TITLE : undifined\r\nGENRE : undifined\r\nARTIST : undifined\r\nBPM : "
              "130\r\nMODE : 拡張"_qs);
}

// The classic reading counts, for carvel-info's note, the lines only the full reading plays.
TEST(FullReader, ClassicCountsFullOnlyLines) {
    const Chart chart = readChartText(
        u"#WAVZZ a.wav\n#WAV0F b.wav\n#RANDOM 2\n#IF 1\n#00103:78\n#00108:01\n#00109:01\n"
        "#00118:01\n#00128:01\n#00151:01\n#00169:01\n#00111:0G\n#00111:0F\n#00131:01\n"_qs,
        u"/nonexistent/"_qs);
    EXPECT_EQ(chart.fullOnlyLines, 10);
}

}  // namespace
}  // namespace carvel
