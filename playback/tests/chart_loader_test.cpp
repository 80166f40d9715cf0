#include <gtest/gtest.h>

#include "testing/qt_printers.h"

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "media/picture_decoder.h"
#include "playback/chart_loader.h"
#include "playback/display_texts.h"
#include "testing/test_files.h"

namespace carvel {
namespace {

class Recorder : public LoadObserver {
  public:
    void loadStateChanged(LoadState state) override { log.append(loadStateText(state)); }
    void statusChanged(PlayerStatus status) override { log.append(statusText(status)); }
    QStringList log;
};

class ChartLoaderTest : public ::testing::Test {
  protected:
    QString path(const QString& name) const { return dir.path() + u'/' + name; }
    LoadedChart load(const QByteArray& text, const MediaOptions& options = {}) {
        testing::writeBytes(path(u"c.bms"_qs), text);
        recorder.log.clear();
        return loadChart(path(u"c.bms"_qs), options, &recorder);
    }
    static QStringList texts(const LoadedChart& loaded) {
        QStringList out;
        for (const LoadMessage& m : loaded.messages) {
            out.append(messageText(m));
        }
        return out;
    }

    QTemporaryDir dir;
    Recorder recorder;
};

TEST_F(ChartLoaderTest, TheInformationTextSaysTheReading) {
    testing::writeBytes(path(u"c.bms"_qs), "#TITLE t\n#PLAYLEVEL 3\n#00111:01\n");
    const QString file = path(u"c.bms"_qs);
    EXPECT_EQ(informationText(loadChart(file, MediaOptions()).chart),
              u"TITLE : t\r\nGENRE : undifined\r\nARTIST : undifined\r\nBPM : 130"_qs);
    EXPECT_EQ(
        informationText(loadChart(file, MediaOptions(), nullptr, {ReadingMode::Full, 1}).chart),
        u"TITLE : t\r\nGENRE : undifined\r\nARTIST : undifined\r\nBPM : 130\r\n"
        "PLAYLEVEL : 3\r\nMODE : 拡張"_qs);
}

TEST_F(ChartLoaderTest, MissingChartAndChartWithoutEvents) {
    const LoadedChart missing = loadChart(u"/no/such/a.bms"_qs, MediaOptions(), &recorder);
    EXPECT_FALSE(missing.found);
    EXPECT_EQ(texts(missing), QStringList{u"BMSﾌｧｲﾙ /no/such/a.bms が見つかりません。"_qs});
    EXPECT_EQ(recorder.log,
              (QStringList{u"読み込み状況 : 待機"_qs, u"ｽﾃｰﾀｽ : ﾌｧｲﾙが見つかりません。"_qs}));

    const LoadedChart empty = load("#TITLE only headers\n#WAV01 x.wav\n");
    EXPECT_TRUE(empty.found);
    EXPECT_EQ(texts(empty), (QStringList{u"Waveﾌｧｲﾙ x.wav が見つかりません。(WAV01)"_qs,
                                         u"ｵﾌﾞｼﾞｪｸﾄがありません。"_qs}));
    EXPECT_EQ(recorder.log,
              (QStringList{u"読み込み状況 : ﾛｰﾄﾞ中 ..."_qs, u"読み込み状況 : ﾛｰﾄﾞ完了"_qs,
                           u"ｽﾃｰﾀｽ : ﾌｧｲﾙを開きました。"_qs, u"ｽﾃｰﾀｽ : 再生できません。"_qs}));
}

TEST_F(ChartLoaderTest, SoundsAndPicturesInLineOrder) {
    testing::writeWav(path(u"kick.wav"_qs), 100);
    testing::writeWav(path(u"snd/Snare.wav"_qs), 50);
    testing::writeBytes(path(u"broken.wav"_qs), "RIFF....WAVEjunk");
    testing::writeImage(path(u"pic.bmp"_qs), "BMP");
    testing::writeImage(path(u"pic.jpg"_qs), "JPG");
    testing::writeImage(path(u"title.jpg"_qs), "JPG");
    testing::writeBytes(path(u"bad.bmp"_qs), "BM not a picture");
    const LoadedChart loaded = load(
        "#00111:0A01\n"
        "#wav0a kick.wav\n"
        "#WAV01 kick.wav\n"
        "#WAV01 gone.wav\n"
        "#WAVzz x.wav\n"
        "#WAV02 broken.wav\n"
        "#WAV03 snd\\snare.WAV\n"
        "#BMP02 pic.jpg\n"
        "#BMP04 missing.jpg\n"
        "#BMP03 pic.bmp   \n"
        "#BMP05 pic.bmp\n"
        "#BMP06 bad.bmp\n"
        "#STAGEFILE title.jpg\n"
        "#STAGEFILE none.bmp\n"
        "#WAVFF missing.wav\n");
    EXPECT_EQ(texts(loaded), (QStringList{
                                 u"Waveﾌｧｲﾙ gone.wav が見つかりません。(WAV01)"_qs,
                                 u"Waveﾌｧｲﾙ x.wav が見つかりません。(WAVzz)"_qs,
                                 u"Waveﾌｧｲﾙ broken.wav を読み込めません。(WAV02)"_qs,
                                 u"bmp 形式以外の画像を表示することはできません。"_qs,
                                 u"Bmpﾌｧｲﾙ missing.jpg が見つかりません。(BMP04)"_qs,
                                 u"bmp 形式以外の画像を表示することはできません。"_qs,
                                 u"Bmpﾌｧｲﾙ bad.bmp を読み込めません。(BMP06)"_qs,
                                 u"Bmpﾌｧｲﾙ none.bmp が見つかりません。(STAGEFILE)"_qs,
                                 u"Waveﾌｧｲﾙ missing.wav が見つかりません。(WAVFF)"_qs,
                             }));
    // Sound 01 is kept after its failed redefinition; pictures are padded to 256 x 256.
    const ChartMedia& media = loaded.media;
    QStringList sizes;
    for (int i : {0, 1, 2, 3, 10, 255}) {
        sizes.append(media.sound(i) ? QString::number(media.sound(i)->frames()) : u"-"_qs);
    }
    const auto size = [](const media::PicturePtr& p) {
        return p ? u"%1x%2"_qs.arg(p->width()).arg(p->height()) : u"-"_qs;
    };
    for (int i : {2, 3, 5, 6}) {
        sizes.append(size(media.picture(i)));
    }
    sizes.append(size(media.stage));
    EXPECT_EQ(sizes.join(u' '), u"- 100 - 50 100 - - - 256x256 - 640x480"_qs);
}

// A load that plays as it decodes hands the chart over first, then each index in the order the
// chart first uses it (the stage picture first, the unused ones last, each with what the last of
// its lines that loaded gives), and ends with the same messages and tables as a load that does not.
TEST_F(ChartLoaderTest, PlayingAsDecodedHandsOverInFirstUseOrder) {
    testing::writeWav(path(u"kick.wav"_qs), 100);
    testing::writeWav(path(u"snare.wav"_qs), 50);
    testing::writeBytes(path(u"broken.wav"_qs), "RIFF....WAVEjunk");
    testing::writeImage(path(u"pic.bmp"_qs), "BMP");
    testing::writeImage(path(u"title.jpg"_qs), "JPG");
    const QByteArray text =
        "#00111:0A01\n"
        "#00104:0500\n"
        "#00211:02\n"
        "#WAV01 kick.wav\n"
        "#WAV01 broken.wav\n"
        "#WAV02 broken.wav\n"
        "#WAV03 snare.wav\n"
        "#WAV0A snare.wav\n"
        "#WAVFF missing.wav\n"
        "#BMP05 pic.bmp\n"
        "#BMP06 pic.bmp\n"
        "#STAGEFILE title.jpg\n";
    const LoadedChart whole = load(text);

    class HandOver : public Recorder {
      public:
        void chartRead(std::shared_ptr<ReadChart> chart) override {
            log.append(u"chart %1, pending %2%3%4%5"_qs.arg(chart->chart.title)
                           .arg(chart->media.soundPending(1))
                           .arg(chart->media.soundPending(0xFF))
                           .arg(chart->media.picturePending(5))
                           .arg(chart->media.stagePending));
        }
        void mediaReady(MediaItem item) override {
            const auto size = [](const auto& p) {
                return p ? QString::number(p->width()) : u"-"_qs;
            };
            const QString what =
                item.kind == MediaItem::Kind::Sound
                    ? (item.sound ? QString::number(item.sound->frames()) : u"-"_qs)
                    : size(item.picture);
            const char16_t kind = item.kind == MediaItem::Kind::Sound     ? u'S'
                                  : item.kind == MediaItem::Kind::Picture ? u'P'
                                                                          : u'T';
            log.append(QString(kind) + QString::number(item.index) + u' ' + what);
            items.push_back(std::move(item));
        }
        std::vector<MediaItem> items;
    };
    HandOver observer;
    MediaOptions options;
    options.playAsDecoded = true;
    options.threads = 1;
    const LoadedChart progressive = loadChart(path(u"c.bms"_qs), options, &observer);
    EXPECT_TRUE(progressive.handedOver);
    EXPECT_EQ(observer.log,
              (QStringList{u"読み込み状況 : ﾛｰﾄﾞ中 ..."_qs, u"ｽﾃｰﾀｽ : ﾌｧｲﾙを開きました。"_qs,
                           u"chart undifined, pending 1011"_qs, u"T0 640"_qs,
                           u"S3 50"_qs,  // one file: its lines' order
                           u"S10 50"_qs, u"P5 256"_qs, u"P6 256"_qs, u"S1 100"_qs, u"S2 -"_qs,
                           u"読み込み状況 : ﾛｰﾄﾞ完了"_qs}));
    EXPECT_EQ(texts(progressive), texts(whole));
    for (const MediaItem& item : observer.items) {
        if (item.kind == MediaItem::Kind::Sound) {
            EXPECT_EQ(item.sound, progressive.media.sound(item.index)) << item.index;
        } else if (item.kind == MediaItem::Kind::Picture) {
            EXPECT_EQ(item.picture, progressive.media.picture(item.index)) << item.index;
        }
    }
}

// A sound file cut off in the middle is kept with what it holds, and each line that names it says
// so in its place among the other messages.
TEST_F(ChartLoaderTest, ACutOffSoundKeepsWhatItHolds) {
    testing::writeWav(path(u"whole.wav"_qs), 1000, 44100, 1000, 2);
    const QByteArray whole = testing::readBytes(path(u"whole.wav"_qs));
    testing::writeBytes(path(u"Cut.wav"_qs), whole.left(44 + 600 * 4));
    testing::writeBytes(path(u"broken.wav"_qs), "RIFF....WAVEjunk");
    const LoadedChart loaded = load(
        "#00111:0102\n"
        "#WAV01 gone.wav\n"
        "#WAV02 cut.wav\n"
        "#WAV03 whole.wav\n"
        "#WAV04 broken.wav\n"
        "#WAV05 CUT.WAV\n");
    EXPECT_EQ(texts(loaded), (QStringList{
                                 u"Waveﾌｧｲﾙ gone.wav が見つかりません。(WAV01)"_qs,
                                 u"Waveﾌｧｲﾙ cut.wav は途中までしか読めません。(WAV02)"_qs,
                                 u"Waveﾌｧｲﾙ broken.wav を読み込めません。(WAV04)"_qs,
                                 u"Waveﾌｧｲﾙ CUT.WAV は途中までしか読めません。(WAV05)"_qs,
                             }));
    QStringList frames;
    for (int i = 1; i <= 5; ++i) {
        const media::SoundPtr sound = loaded.media.sound(i);
        frames.append(sound ? QString::number(sound->frames()) : u"-"_qs);
    }
    EXPECT_EQ(frames.join(u' '), u"- 600 1000 - 600"_qs);
}

// One file, however its lines spell it (and through a hard link), is decoded once for each use.
TEST_F(ChartLoaderTest, SpellingsOfOneFileShareOneDecode) {
    testing::writeImage(path(u"a.bmp"_qs), "BMP");
    ASSERT_TRUE(QDir(dir.path()).mkpath(u"sub"_qs));
    testing::writeImage(path(u"sub/other.bmp"_qs), "BMP");
    testing::writeWav(path(u"k.wav"_qs), 100);
    ASSERT_EQ(::link(QFile::encodeName(path(u"a.bmp"_qs)).constData(),
                     QFile::encodeName(path(u"linked.bmp"_qs)).constData()),
              0);
    const LoadedChart loaded = load(
        "#00111:01\n#WAV01 k.wav\n#WAV02 ./k.wav\n#WAV03 sub/../k.wav\n"
        "#BMP01 a.bmp\n#BMP02 ./a.bmp\n#BMP03 .//a.bmp\n#BMP04 ././a.bmp\n#BMP05 sub/../a.bmp\n"
        "#BMP06 linked.bmp\n#BMP07 sub/other.bmp\n#STAGEFILE ./a.bmp\n#STAGEFILE a.bmp\n");
    EXPECT_TRUE(loaded.messages.empty()) << texts(loaded).join(u'\n').toStdString();
    const ChartMedia& media = loaded.media;
    ASSERT_NE(media.picture(1), nullptr);
    for (const int i : {2, 3, 4, 5, 6}) {
        EXPECT_EQ(media.picture(i), media.picture(1)) << i;
    }
    EXPECT_NE(media.picture(7), media.picture(1));
    EXPECT_EQ(media.stage->size(), kStageSize);
    ASSERT_NE(media.sound(1), nullptr);
    EXPECT_EQ(media.sound(2), media.sound(1));
    EXPECT_EQ(media.sound(3), media.sound(1));
}

// Past the pictures' budget, pictures are refused in line order with a message, and the chart
// still loads with its sounds and the pictures that fitted.
TEST_F(ChartLoaderTest, PicturesPastTheBudgetAreRefused) {
    for (const QString& name : {u"a.bmp"_qs, u"b.bmp"_qs, u"c.bmp"_qs, u"d.bmp"_qs}) {
        testing::writeImage(path(name), "BMP");
    }
    testing::writeWav(path(u"k.wav"_qs), 100);
    // Two pictures fit, kept, with room to read one more but not to keep it.
    const media::PictureFile measured(QFile::encodeName(path(u"a.bmp"_qs)), kPictureSize);
    MediaOptions options;
    options.pictureBudgetBytes = 2 * measured.keptBytes() + measured.decodingBytes() - 1;
    const LoadedChart loaded = load(
        "#00111:01\n#WAV01 k.wav\n#BMP01 a.bmp\n#BMP02 b.bmp\n#BMP03 ./a.bmp\n#BMP04 c.bmp\n"
        "#BMP05 d.bmp\n#STAGEFILE a.bmp\n",
        options);
    EXPECT_EQ(texts(loaded),
              (QStringList{
                  u"Bmpﾌｧｲﾙ c.bmp を読み込めません。画像の合計が大きすぎます。(BMP04)"_qs,
                  u"Bmpﾌｧｲﾙ d.bmp を読み込めません。画像の合計が大きすぎます。(BMP05)"_qs,
                  u"Bmpﾌｧｲﾙ a.bmp を読み込めません。画像の合計が大きすぎます。(STAGEFILE)"_qs,
              }));
    EXPECT_TRUE(loaded.found);
    EXPECT_NE(loaded.media.sound(1), nullptr);
    for (const int i : {1, 2, 3}) {
        EXPECT_NE(loaded.media.picture(i), nullptr) << i;
    }
    EXPECT_EQ(loaded.media.picture(4), nullptr);
    EXPECT_EQ(recorder.log.last(), statusText(PlayerStatus::Opened));
}

}  // namespace
}  // namespace carvel
