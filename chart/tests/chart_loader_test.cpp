#include <gtest/gtest.h>

#include "platform/testing/qt_printers.h"

#include <QTemporaryDir>

#include "chart/chart_loader.h"
#include "platform/text_file.h"
#include "test_files.h"

namespace carvel {
namespace {

using Strings = std::vector<std::string>;
using testing::writeBytes;

class Recorder : public StatusObserver {
  public:
    void loadStateChanged(const QString& text) override { log.append(u"L:"_qs + text); }
    void statusChanged(const QString& text) override { log.append(u"S:"_qs + text); }
    QStringList log;
};

class LoaderTest : public ::testing::Test {
  protected:
    QString path(const QString& name) const { return dir.path() + u'/' + name; }
    void chart(const QByteArray& text) { writeBytes(path(u"c.bms"_qs), text); }
    int load() {
        state.Reset();
        messages.clear();
        return LoadChart(path(u"c.bms"_qs), messages, state, &recorder);
    }

    QTemporaryDir dir;
    ChartState state;
    QStringList messages;
    Recorder recorder;
};

TEST_F(LoaderTest, MissingFileKeepsDefaults) {
    state.Reset();
    EXPECT_EQ(LoadChart(path(u"none.bms"_qs), messages, state, &recorder), 1);
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(state.strTitle, u"undifined"_qs);
    EXPECT_EQ(state.intBpm, 130);
    EXPECT_EQ(recorder.log, QStringList{u"L:読み込み状況 : 待機"_qs});
    // A folder is no chart either.
    EXPECT_EQ(LoadChart(dir.path(), messages, state, nullptr), 1);

    QStringList openMessages;
    EXPECT_EQ(OpenChart(u"/no/such/a.bms"_qs, openMessages, state, nullptr), 1);
    EXPECT_EQ(openMessages, QStringList{u"BMSﾌｧｲﾙ /no/such/a.bms が見つかりません。"_qs});
    EXPECT_EQ(chartInformationText(state),
              u"TITLE : undifined\r\nGENRE : undifined\r\nARTIST : undifined\r\nBPM : 130"_qs);
}

TEST_F(LoaderTest, HeaderFields) {
    struct Case {
        QByteArray text;
        QString title;
        int bpm;
    };
    const Case cases[] = {
        {"#title My Song\n", u"My Song"_qs, 130},
        {"#TITLE\n", u"undifined"_qs, 130},
        {"#TITLE \n", u""_qs, 130},
        {" #TITLE x\n", u"undifined"_qs, 130},
        {"#TITLE a\n#TITLE b\n", u"b"_qs, 130},
        {"#BPM 150.5\n", u"undifined"_qs, 150},
        {"#BPM 151.5\n", u"undifined"_qs, 152},
        {"#bpm 180\n", u"undifined"_qs, 180},
        // Unusable tempos keep the previous one.
        {"#BPM 150\n#BPM abc\n", u"undifined"_qs, 150},
        {"#BPM 150\n#BPM 0\n", u"undifined"_qs, 150},
        {"#BPM 150\n#BPM 0.4\n", u"undifined"_qs, 150},
        {"#BPM 150\n#BPM -20\n", u"undifined"_qs, 150},
        {"#BPM 150\n#BPM 40000\n", u"undifined"_qs, 150},
        {"#BPM 150\n#BPM 1e400\n", u"undifined"_qs, 150},
        {"#BPM 150\n#BPM nan\n", u"undifined"_qs, 150},
        {"#BPM 32767\n", u"undifined"_qs, 32767},
        // CP932 and UTF-8 text; CR-only line ends.
        {"#TITLE \x83\x65\x83\x58\x83\x67\r\n", u"テスト"_qs, 130},
        {"\xEF\xBB\xBF#TITLE \xE6\x9B\xB2\r\n", u"曲"_qs, 130},
        {"#TITLE a\r#BPM 99\r", u"a"_qs, 99},
    };
    for (const Case& c : cases) {
        chart(c.text);
        EXPECT_EQ(load(), 0);
        EXPECT_EQ(state.strTitle, c.title) << c.text.toStdString();
        EXPECT_EQ(state.intBpm, c.bpm) << c.text.toStdString();
    }
    chart("#GENRE g\n#ARTIST a b\n#TITLE t\n#BPM 150\n");
    load();
    EXPECT_EQ(chartInformationText(state),
              u"TITLE : t\r\nGENRE : g\r\nARTIST : a b\r\nBPM : 150"_qs);
}

TEST_F(LoaderTest, NoEventsIsReported) {
    chart("#TITLE only headers\n#WAV01 x.wav\n");
    EXPECT_EQ(load(), 0);
    EXPECT_EQ(messages, (QStringList{u"Waveﾌｧｲﾙ x.wav が見つかりません。(WAV01)"_qs,
                                     u"ｵﾌﾞｼﾞｪｸﾄがありません。"_qs}));
    EXPECT_TRUE(state.colEvents.empty());
    EXPECT_EQ(recorder.log,
              (QStringList{u"L:読み込み状況 : ﾛｰﾄﾞ中 ..."_qs, u"L:読み込み状況 : ﾛｰﾄﾞ完了"_qs,
                           u"S:ｽﾃｰﾀｽ : ﾌｧｲﾙを開きました。"_qs, u"S:ｽﾃｰﾀｽ : 再生できません。"_qs}));

    // A chart too large to read loads empty.
    chart("#00111:01\n");
    QFile big(path(u"c.bms"_qs));
    ASSERT_TRUE(big.resize(kMaxTextFileBytes + 1));  // sparse: costs no disk
    EXPECT_EQ(load(), 0);
    EXPECT_EQ(messages, (QStringList{u"BMSﾌｧｲﾙ "_qs + path(u"c.bms"_qs) + u" は大きすぎます。"_qs,
                                     u"ｵﾌﾞｼﾞｪｸﾄがありません。"_qs}));
    EXPECT_TRUE(state.colEvents.empty());
}

TEST_F(LoaderTest, SoundAndPictureDefinitions) {
    testing::writeWav(path(u"kick.wav"_qs), 100);
    testing::writeWav(path(u"snd/Snare.wav"_qs), 50);
    writeBytes(path(u"broken.wav"_qs), "RIFF....WAVEjunk");
    testing::writeSparseWav(path(u"slow.wav"_qs), 999, 10);
    testing::writeSparseWav(path(u"long.wav"_qs), 44100, 600 * 44100 + 1);
    testing::writeImage(path(u"pic.bmp"_qs), "BMP");
    testing::writeImage(path(u"pic.jpg"_qs), "JPG");
    testing::writeImage(path(u"title.jpg"_qs), "JPG");
    writeBytes(path(u"bad.bmp"_qs), "BM not a picture");
    chart(
        "#wav0a kick.wav\n"
        "#WAV01 kick.wav\n"
        "#WAV01 gone.wav\n"
        "#WAVzz x.wav\n"
        "#WAV02 broken.wav\n"
        "#WAV03 snd\\snare.WAV\n"
        "#WAV04 slow.wav\n"
        "#WAV05 long.wav\n"
        "#BMP02 pic.jpg\n"
        "#BMP04 missing.jpg\n"
        "#BMP03 pic.bmp   \n"
        "#BMP05 pic.bmp\n"
        "#BMP06 bad.bmp\n"
        "#STAGEFILE title.jpg\n"
        "#STAGEFILE none.bmp\n"
        "#WAVFF missing.wav\n"
        "#00111:0A01\n");
    EXPECT_EQ(load(), 0);
    EXPECT_EQ(messages,
              (QStringList{
                  u"Waveﾌｧｲﾙ gone.wav が見つかりません。(WAV01)"_qs,
                  u"Waveﾌｧｲﾙ x.wav が見つかりません。(WAVzz)"_qs,
                  u"Waveﾌｧｲﾙ broken.wav を読み込めません。(WAV02)"_qs,
                  u"Waveﾌｧｲﾙ slow.wav のｻﾝﾌﾟﾙﾚｰﾄ (999 Hz) には対応していません。(WAV04)"_qs,
                  u"Waveﾌｧｲﾙ long.wav は長すぎます。(WAV05)"_qs,
                  u"bmp 形式以外の画像を表示することはできません。"_qs,
                  u"Bmpﾌｧｲﾙ missing.jpg が見つかりません。(BMP04)"_qs,
                  u"bmp 形式以外の画像を表示することはできません。"_qs,
                  u"Bmpﾌｧｲﾙ bad.bmp を読み込めません。(BMP06)"_qs,
                  u"Bmpﾌｧｲﾙ none.bmp が見つかりません。(STAGEFILE)"_qs,
                  u"Waveﾌｧｲﾙ missing.wav が見つかりません。(WAVFF)"_qs,
              }));
    ASSERT_EQ(state.dsbWav.size(), 256u);
    ASSERT_EQ(state.blnWav.size(), 256u);
    EXPECT_TRUE(state.soundLoaded(10));
    EXPECT_TRUE(state.soundLoaded(1));  // kept after the failed redefinition
    EXPECT_FALSE(state.soundLoaded(0));
    EXPECT_FALSE(state.soundLoaded(2));
    EXPECT_TRUE(state.soundLoaded(3));
    EXPECT_FALSE(state.soundLoaded(255));
    EXPECT_EQ(state.dsbWav[3]->frames(), 50);
    EXPECT_EQ(state.blnBmp.size(), 7u);
    EXPECT_TRUE(state.pictureLoaded(5));
    EXPECT_EQ(state.ddsBmp[5]->size(), QSize(256, 256));
    EXPECT_FALSE(state.pictureLoaded(2));
    EXPECT_FALSE(state.pictureLoaded(3));
    EXPECT_FALSE(state.pictureLoaded(6));
    EXPECT_TRUE(state.blnStage);
    EXPECT_EQ(state.ddsStage->size(), QSize(640, 480));
    EXPECT_EQ(state.colEvents, (Strings{"000192,11,10", "000288,11,1"}));
}

TEST_F(LoaderTest, SoundBudgetRefusesLaterSoundsInLineOrder) {
    // 100 frames of stereo float: 800 bytes each; a file named twice is decoded and counted once.
    for (const QString& name : {u"a.wav"_qs, u"b.wav"_qs, u"c.wav"_qs}) {
        testing::writeWav(path(name), 100);
    }
    testing::writeWav(path(u"d.wav"_qs), 1);
    chart(
        "#WAV01 a.wav\n#WAV02 b.wav\n#WAV03 a.wav\n#WAV04 c.wav\n#WAV05 d.wav\n#WAV06 b.wav\n"
        "#00111:010203040506\n");
    LoadOptions options;
    options.soundBudgetBytes = 1700;
    options.threads = 4;
    for (int run = 0; run < 5; ++run) {
        state.Reset();
        messages.clear();
        EXPECT_EQ(LoadChart(path(u"c.bms"_qs), messages, state, nullptr, options), 0);
        EXPECT_EQ(messages,
                  (QStringList{
                      u"Waveﾌｧｲﾙ c.wav を読み込めません。ｻｳﾝﾄﾞの合計が大きすぎます。(WAV04)"_qs,
                      u"Waveﾌｧｲﾙ d.wav を読み込めません。ｻｳﾝﾄﾞの合計が大きすぎます。(WAV05)"_qs,
                  }));
        EXPECT_EQ(state.blnWav, (std::vector<bool>{false, true, true, true, false, false, true}));
        EXPECT_EQ(state.colEvents.size(), 6u);
    }
}

TEST_F(LoaderTest, SecondOpenReleasesTheFirst) {
    testing::writeWav(path(u"kick.wav"_qs), 10);
    testing::writeImage(path(u"s.bmp"_qs), "BMP");
    chart("#WAV05 kick.wav\n#STAGEFILE s.bmp\n#00111:05\n");
    QStringList m;
    OpenChart(path(u"c.bms"_qs), m, state, nullptr);
    std::weak_ptr<const media::Sound> sound = state.dsbWav[5];
    ASSERT_FALSE(sound.expired());
    chart("#00111:01\n");
    OpenChart(path(u"c.bms"_qs), m, state, nullptr);
    EXPECT_TRUE(sound.expired());
    EXPECT_EQ(state.dsbWav.size(), 1u);
    EXPECT_FALSE(state.blnStage);
}

TEST_F(LoaderTest, BarLengthsAndOrder) {
    chart(
        "#00311:01010000\n"
        "#00302:0.75\n"
        "#00411:0000000001\n"
        "#00302:0.75\n"
        "#00404:01\n#00401:02\n#00416:03\n");
    EXPECT_EQ(load(), 0);
    EXPECT_EQ(state.strBarLen, (QStringList{u"-1"_qs, u""_qs}));
    EXPECT_EQ(state.colEvents, (Strings{"000576,11,1", "000612,11,1", "000720,2,0.75", "000768,1,2",
                                        "000768,16,3", "000768,4,1", "000921,11,1"}));
}

TEST_F(LoaderTest, DefinitionsAfterChannelLinesStillCount) {
    testing::writeWav(path(u"k.wav"_qs), 10);
    chart("#00111:01\n#WAV01 k.wav\n");
    load();
    EXPECT_TRUE(state.soundLoaded(1));
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(LoaderTest, ManyEventsDoNotOverflow) {
    QByteArray text;
    for (int m = 0; m < 200; ++m) {
        text += "#" + QByteArray::number(m).rightJustified(3, '0') + "11:";
        for (int i = 0; i < 192; ++i) {
            text += "01";
        }
        text += "\n";
    }
    chart(text);
    load();
    EXPECT_EQ(state.colEvents.size(), 200u * 192u);
    EXPECT_EQ(state.colEvents.back(), "038399,11,1");
}

}  // namespace
}  // namespace carvel
