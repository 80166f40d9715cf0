#include <gtest/gtest.h>
#include <sys/stat.h>

#include "testing/qt_printers.h"

#include <QFile>
#include <QTemporaryDir>

#include "chart/chart_reader.h"
#include "testing/fakes.h"
#include "testing/test_files.h"

namespace carvel {
namespace {

using Status = ReadResult::Status;
using Strings = std::vector<std::string>;

class ReaderTest : public ::testing::Test {
  protected:
    QString path(const QString& name) const { return dir.path() + u'/' + name; }
    ReadResult read(const QByteArray& text) {
        testing::writeBytes(path(u"c.bms"_qs), text);
        return readChart(path(u"c.bms"_qs));
    }
    static Strings events(const Chart& chart) {
        return testing::textsOf(chart.events, chart.barEndRatios);
    }

    QTemporaryDir dir;
};

TEST_F(ReaderTest, FilesThatAreNotRead) {
    QFile big(path(u"big.bms"_qs));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    ASSERT_TRUE(big.resize(kMaxChartBytes + 1));  // sparse: costs no disk
    big.close();
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
        EXPECT_EQ(informationText(result.chart),
                  u"TITLE : undifined\r\nGENRE : undifined\r\nARTIST : undifined\r\nBPM : 130"_qs);
        EXPECT_TRUE(result.chart.events.empty());
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
    EXPECT_EQ(informationText(read("#GENRE g\n#ARTIST a b\n#TITLE t\n#BPM 150\n").chart),
              u"TITLE : t\r\nGENRE : g\r\nARTIST : a b\r\nBPM : 150"_qs);
}

TEST_F(ReaderTest, MediaLinesNameTheirFiles) {
    testing::writeBytes(path(u"Kick.WAV"_qs), "x");
    testing::writeBytes(path(u"snd/snare.wav"_qs), "x");
    testing::writeBytes(path(u"pic.bmp"_qs), "x");
    testing::writeBytes(path(u"pic.jpg"_qs), "x");
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
    // Each as "kind index indexText [name] [file found]", and whether a picture is no bitmap.
    const QString kinds[] = {u"sound"_qs, u"picture"_qs, u"stage"_qs};
    Strings got;
    for (const MediaRequest& r : chart.media) {
        const QString file = QString(r.file.path).replace(chart.folder, u"./"_qs);
        got.push_back(u"%1 %2 %3 [%4] [%5]%6"_qs
                          .arg(kinds[static_cast<int>(r.kind)], QString::number(r.index),
                               r.indexText, r.name, file,
                               r.notBitmap ? u" not a bitmap"_qs : QString())
                          .toStdString());
    }
    EXPECT_EQ(got, (Strings{
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
        Strings events;
    };
    const Case cases[] = {
        {"#00311:01010000\n#00302:0.75\n#00411:0000000001\n#00302:0.75\n"
         "#00404:01\n#00401:02\n#00416:03\n",
         {"000576,11,1", "000612,11,1", "000720,2,0.75", "000768,1,2", "000768,16,3", "000768,4,1",
          "000921,11,1"}},
        // Two identical lines give every event twice.
        {"#00111:01\n#00111:01\n", {"000192,11,1", "000192,11,1"}},
        {"#TITLE only headers\n#WAV01 x.wav\n", {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(events(read(c.text).chart), c.events) << c.text.toStdString();
    }
    // The last line holds 20000 pairs, more than a 16-bit count holds.
    QByteArray many;
    for (int m = 0; m < 200; ++m) {
        many += "#" + QByteArray::number(m).rightJustified(3, '0') +
                "11:" + QByteArray(m < 199 ? 384 : 40000, '1') + "\n";
    }
    const Chart chart = read(many).chart;
    EXPECT_EQ(chart.events.size(), 199u * 192u + 20000u);
    EXPECT_EQ(eventText(chart.events.back(), {}), "038399,11,17");
}

}  // namespace
}  // namespace carvel
