#include <gtest/gtest.h>

#include "testing/qt_printers.h"

#include <QTemporaryDir>

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
    LoadedChart load(const QByteArray& text) {
        testing::writeBytes(path(u"c.bms"_qs), text);
        recorder.log.clear();
        return loadChart(path(u"c.bms"_qs), MediaOptions(), &recorder);
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

}  // namespace
}  // namespace carvel
