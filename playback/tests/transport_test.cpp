#include <gtest/gtest.h>

#include "fakes.h"
#include "platform/testing/qt_printers.h"
#include "playback/player_controller.h"

namespace carvel {
namespace {

using testing::FakeClock;
using testing::RecordingOutput;
using testing::runFor;

class RecordingView : public PlayerView {
  public:
    void messagesChanged(const QStringList& m) override { messages = m; }
    void informationChanged(const QString& text) override { information = text; }
    void statusChanged(const QString& text) override { statuses.append(text); }
    QStringList messages;
    QString information;
    QStringList statuses;
};

class TransportTest : public ::testing::Test, protected testing::PlayerRig {
  protected:
    TransportTest() { controller.setView(view); }
    QString writeChart(const QString& name, const QByteArray& text) {
        return chartFile(name, text);
    }

    RecordingView view;
};

TEST_F(TransportTest, FileLoadOfAMissingChart) {
    controller.FileLoad(u"/no/such/a.bms"_qs);
    EXPECT_EQ(view.messages, QStringList{u"BMSﾌｧｲﾙ /no/such/a.bms が見つかりません。"_qs});
    EXPECT_EQ(view.information,
              u"TITLE : undifined\r\nGENRE : undifined\r\nARTIST : undifined\r\nBPM : 130"_qs);
    EXPECT_FALSE(controller.engine().running());
}

TEST_F(TransportTest, FileLoadPlaysAndLists) {
    testing::writeWav(dir.path() + u"/k.wav"_qs, 10, 1000);
    const QString path =
        writeChart(u"a.bms"_qs, "#BPM 150\n#WAV01 k.wav\n#WAV02 gone.wav\n#00111:01\n");
    controller.FileLoad(path);
    EXPECT_EQ(view.messages, QStringList{u"Waveﾌｧｲﾙ gone.wav が見つかりません。(WAV02)"_qs});
    EXPECT_EQ(view.information,
              u"TITLE : undifined\r\nGENRE : undifined\r\nARTIST : undifined\r\nBPM : 150"_qs);
    EXPECT_TRUE(controller.engine().running());
    EXPECT_EQ(view.statuses.last(), u"ｽﾃｰﾀｽ : 再生中です。"_qs);
    EXPECT_EQ(output.stops, 1);  // the previous chart's sounds were silenced first
}

TEST_F(TransportTest, NextAndBackWrapAround) {
    const QString a = writeChart(u"a.bms"_qs, "#TITLE A\n#00111:01\n");
    const QString b = writeChart(u"b.bms"_qs, "#TITLE B\n#00111:01\n");
    const QString c = writeChart(u"c.bms"_qs, "#TITLE C\n#00111:01\n");
    struct Case {
        qsizetype current;
        bool next;
        qsizetype expected;
        const char16_t* title;
    };
    const Case cases[] = {
        {-1, true, 0, u"A"}, {0, true, 1, u"B"},  {2, true, 0, u"A"},
        {0, false, 2, u"C"}, {2, false, 1, u"B"}, {-1, false, 2, u"C"},
    };
    for (const QString& p : {a, b, c}) {
        playlist.append({QString(), p});
    }
    for (const Case& k : cases) {
        playlist.setCurrent(k.current);
        k.next ? controller.cmdNext_Click() : controller.cmdBack_Click();
        EXPECT_EQ(playlist.current(), k.expected);
        EXPECT_EQ(chart.strTitle, QString::fromUtf16(k.title));
    }
}

TEST_F(TransportTest, NextAndBackWithoutEntriesDoNothing) {
    controller.toNext();
    controller.Backto();
    EXPECT_EQ(playlist.current(), -1);
    EXPECT_TRUE(view.information.isEmpty());
}

TEST_F(TransportTest, ACompletedChartMovesOnToTheNext) {
    const QString a = writeChart(u"a.bms"_qs, "#TITLE A\n#00111:01\n");
    const QString b = writeChart(u"b.bms"_qs, "#TITLE B\n#00111:01\n");
    playlist.append({QString(), a});
    playlist.append({QString(), b});
    controller.toNext();
    EXPECT_EQ(chart.strTitle, u"A"_qs);
    runFor(controller.engine(), clock, 3000);
    EXPECT_EQ(chart.strTitle, u"B"_qs);
    EXPECT_TRUE(view.statuses.contains(u"ｽﾃｰﾀｽ : 再生が完了しました。"_qs));
}

TEST_F(TransportTest, FastForwardAndRewind) {
    PlaybackEngine& engine = controller.engine();
    struct Case {
        long long index;
        bool forward;
        long long expectedIndex;
        double expectedStart;
    };
    const Case cases[] = {
        {1, true, 11, 9000},
        {5, false, 1, 11000},
        {60, false, 10, 11000},
        {1, false, 1, 11000},
    };
    for (const Case& c : cases) {
        engine.lngEventIndex = c.index;
        engine.lngStartTime = 10000;
        c.forward ? controller.cmdFF_Click() : controller.cmdRev_Click();
        EXPECT_EQ(engine.lngEventIndex, c.expectedIndex);
        EXPECT_EQ(engine.lngStartTime, c.expectedStart);
    }
}

TEST_F(TransportTest, FastForwardPastTheEndCompletes) {
    const QString a = writeChart(u"a.bms"_qs, "#TITLE A\n#00111:0101010101\n#00911:01\n");
    playlist.append({QString(), a});
    controller.toNext();
    runFor(controller.engine(), clock, 10);
    controller.cmdFF_Click();
    runFor(controller.engine(), clock, 10);
    EXPECT_TRUE(view.statuses.contains(u"ｽﾃｰﾀｽ : 再生が完了しました。"_qs));
}

TEST_F(TransportTest, ResetReleasesSoundsKeepingFlags) {
    testing::writeWav(dir.path() + u"/k.wav"_qs, 10, 1000);
    controller.FileLoad(writeChart(u"a.bms"_qs, "#WAV01 k.wav\n#00111:01\n"));
    std::weak_ptr<const media::Sound> sound = chart.dsbWav[1];
    controller.Reset();
    EXPECT_TRUE(sound.expired() || output.ends.empty());
    EXPECT_EQ(chart.dsbWav[1], nullptr);
    EXPECT_TRUE(chart.blnWav[1]);
    controller.cmdPlay_Click();
    runFor(controller.engine(), clock, 100);  // plays nothing, and does not fail
}

TEST_F(TransportTest, SoundPreview) {
    SoundPreview& preview = controller.preview();
    chart.growWav(255);
    chart.dsbWav[255] = testing::makeSound(10);
    chart.blnWav[255] = true;

    preview.lblPlay_Click();  // not armed yet
    EXPECT_TRUE(output.starts.empty());
    preview.lblWave_MouseMove(SoundPreview::kLeftButton);  // a drag that began elsewhere
    EXPECT_EQ(preview.lblWave, u"1"_qs);
    EXPECT_TRUE(preview.lblPlay.isEmpty());
    preview.lblWave = QString();
    preview.lblWave_MouseDown();
    EXPECT_EQ(preview.lblWave, u"0"_qs);
    EXPECT_EQ(preview.lblPlay, u"■"_qs);
    preview.lblWave_MouseDown();  // a press never changes the index
    EXPECT_EQ(preview.lblWave, u"0"_qs);
    preview.lblWave_MouseMove(SoundPreview::kRightButton);
    EXPECT_EQ(preview.lblWave, u"FF"_qs);
    preview.lblWave_MouseMove(4);  // the middle button alone does nothing
    EXPECT_EQ(preview.lblWave, u"FF"_qs);
    preview.lblPlay_Click();
    preview.lblPlay_Click();
    ASSERT_EQ(output.starts.size(), 2u);
    EXPECT_EQ(output.starts[1].voice, 255);
    preview.lblWave_MouseMove(SoundPreview::kLeftButton | SoundPreview::kRightButton);
    EXPECT_EQ(preview.lblWave, u"0"_qs);  // left wins, wrapping past FF
    preview.lblPlay_Click();              // index 0 is not loaded
    EXPECT_EQ(output.starts.size(), 2u);
}

}  // namespace
}  // namespace carvel
