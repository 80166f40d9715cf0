#include <gtest/gtest.h>

#include "testing/qt_printers.h"

#include "playback/display_texts.h"
#include "playback/player_controller.h"
#include "testing/fakes.h"
#include "testing/test_files.h"

namespace carvel {
namespace {

using testing::runFor;

class RecordingView : public PlayerView {
  public:
    void messagesChanged(const std::vector<LoadMessage>& m) override {
        messages.clear();
        for (const LoadMessage& message : m) {
            messages.append(messageText(message));
        }
    }
    void informationChanged(const QString& text) override { information = text; }
    void statusChanged(PlayerStatus status) override { statuses.push_back(status); }
    QStringList messages;
    QString information;
    std::vector<PlayerStatus> statuses;
};

class TransportTest : public ::testing::Test, protected testing::PlayerRig {
  protected:
    TransportTest() { controller.setView(view); }
    bool completed() const {
        return std::count(view.statuses.begin(), view.statuses.end(), PlayerStatus::Completed) > 0;
    }

    RecordingView view;
};

TEST_F(TransportTest, OpenListsMessagesShowsFieldsAndPlays) {
    controller.open(u"/no/such/a.bms"_qs);
    EXPECT_EQ(view.messages, QStringList{u"BMSﾌｧｲﾙ /no/such/a.bms が見つかりません。"_qs});
    EXPECT_EQ(view.information,
              u"TITLE : undifined\r\nGENRE : undifined\r\nARTIST : undifined\r\nBPM : 130"_qs);
    EXPECT_FALSE(controller.engine().running());

    testing::writeWav(dir.path() + u"/k.wav"_qs, 10, 1000);
    controller.open(chartFile(u"a.bms"_qs, "#BPM 150\n#WAV01 k.wav\n#WAV02 gone.wav\n#00111:01\n"));
    EXPECT_EQ(view.messages, QStringList{u"Waveﾌｧｲﾙ gone.wav が見つかりません。(WAV02)"_qs});
    EXPECT_EQ(view.information,
              u"TITLE : undifined\r\nGENRE : undifined\r\nARTIST : undifined\r\nBPM : 150"_qs);
    EXPECT_TRUE(controller.engine().running());
    EXPECT_EQ(view.statuses.back(), PlayerStatus::Playing);
    EXPECT_EQ(output.stops, 2);  // each open silenced the previous chart's sounds first
}

TEST_F(TransportTest, NextAndBackWrapAroundAndACompletedChartMovesOn) {
    for (const char* name : {"A", "B", "C"}) {
        queue.paths.push_back(chartFile(QString::fromLatin1(name) + u".bms"_qs,
                                        QByteArray("#TITLE ") + name + "\n#00111:01\n"));
    }
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
    for (const Case& k : cases) {
        queue.current = k.current;
        k.next ? controller.next() : controller.back();
        EXPECT_EQ(queue.current, k.expected);
        EXPECT_EQ(controller.chart().title, QString::fromUtf16(k.title));
    }
    queue.current = -1;
    controller.next();
    runFor(controller, clock, 3000);
    EXPECT_EQ(controller.chart().title, u"B"_qs);
    EXPECT_TRUE(completed());

    testing::TestQueue empty;
    PlayerController idle(output, clock, empty, view);
    view.information.clear();
    idle.next();
    idle.back();
    EXPECT_TRUE(view.information.isEmpty());
}

TEST_F(TransportTest, FastForwardAndRewind) {
    queue.paths.push_back(chartFile(u"a.bms"_qs, "#00111:" + QByteArray(2 * 64, '1') + "\n"));
    controller.next();
    struct Case {
        bool forward;
        long long expectedIndex;
        double expectedStartShift;
    };
    // From event 1: FF skips ten events; Rev goes back fifty, never before the first.
    const Case cases[] = {{true, 11, -1000}, {true, 21, -1000}, {false, 1, 1000}, {false, 1, 1000}};
    for (const Case& c : cases) {
        const double start = controller.engine().startMs();
        c.forward ? controller.fastForward() : controller.rewind();
        EXPECT_EQ(controller.engine().nextEvent(), c.expectedIndex);
        EXPECT_EQ(elapsedMs(controller.engine().startMs(), start), c.expectedStartShift);
    }
    // Fast forward within the last ten events ends the chart as completed.
    for (int i = 0; i < 7; ++i) {
        controller.fastForward();
    }
    runFor(controller, clock, 10);
    EXPECT_TRUE(completed());
}

TEST_F(TransportTest, ReleasedSoundsPlayNothing) {
    testing::writeWav(dir.path() + u"/k.wav"_qs, 10, 1000);
    controller.open(chartFile(u"a.bms"_qs, "#WAV01 k.wav\n#00111:01\n"));
    controller.releaseSounds();
    output.starts.clear();
    controller.play();
    runFor(controller, clock, 100);
    EXPECT_TRUE(output.starts.empty());
    controller.preview().press();
    controller.preview().drag(SoundPreview::kLeftButton);
    controller.preview().play();
    EXPECT_TRUE(output.starts.empty());
}

TEST_F(TransportTest, SoundPreview) {
    ChartMedia media;
    media.sounds.resize(256);
    media.sounds[255] = testing::makeSound(10);
    SoundPreview preview(media, output, clock);

    preview.play();  // not armed yet
    EXPECT_TRUE(output.starts.empty());
    preview.drag(SoundPreview::kLeftButton);  // a drag that began elsewhere counts from 0
    EXPECT_EQ(preview.indexText(), u"1"_qs);
    EXPECT_FALSE(preview.armed());
    SoundPreview fresh(media, output, clock);
    fresh.press();
    EXPECT_EQ(fresh.indexText(), u"0"_qs);
    EXPECT_TRUE(fresh.armed());
    fresh.press();  // a press never changes the index
    EXPECT_EQ(fresh.indexText(), u"0"_qs);
    fresh.drag(SoundPreview::kRightButton);
    EXPECT_EQ(fresh.indexText(), u"FF"_qs);
    fresh.drag(4);  // the middle button alone does nothing
    EXPECT_EQ(fresh.indexText(), u"FF"_qs);
    fresh.play();
    fresh.play();
    ASSERT_EQ(output.starts.size(), 2u);
    EXPECT_EQ(output.starts[1].voice, 255);
    fresh.drag(SoundPreview::kLeftButton | SoundPreview::kRightButton);
    EXPECT_EQ(fresh.indexText(), u"0"_qs);  // left wins, wrapping past FF
    fresh.play();                           // index 0 is not loaded
    EXPECT_EQ(output.starts.size(), 2u);
}

}  // namespace
}  // namespace carvel
