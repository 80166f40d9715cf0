#include <gtest/gtest.h>

#include "testing/qt_printers.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "chart/chart_reader.h"
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
    void pictureChanged(const QImage& primary, double /*dueMs*/) override { picture = primary; }
    QStringList messages;
    QImage picture;
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
    const QString fields =
        u"TITLE : undifined\r\nGENRE : undifined\r\nARTIST : undifined\r\nBPM : %1"_qs;
    controller.open(u"/no/such/a.bms"_qs);
    ASSERT_TRUE(controller.waitForLoad(testing::kLoadWaitMs));
    EXPECT_EQ(view.messages, QStringList{u"BMSﾌｧｲﾙ /no/such/a.bms が見つかりません。"_qs});
    EXPECT_EQ(view.information, fields.arg(130));
    EXPECT_FALSE(controller.engine().running());

    testing::writeWav(dir.path() + u"/k.wav"_qs, 10, 1000);
    controller.open(chartFile(u"a.bms"_qs, "#BPM 150\n#WAV01 k.wav\n#WAV02 gone.wav\n#00111:01\n"));
    ASSERT_TRUE(controller.waitForLoad(testing::kLoadWaitMs));
    EXPECT_EQ(view.messages, QStringList{u"Waveﾌｧｲﾙ gone.wav が見つかりません。(WAV02)"_qs});
    EXPECT_EQ(view.information, fields.arg(150));
    EXPECT_TRUE(controller.engine().running());
    EXPECT_EQ(view.statuses.back(), PlayerStatus::Playing);
    EXPECT_EQ(output.stops, 2);  // each open silenced the previous chart's sounds first
}

// Each sound goes to its lane's group, in both readings; the mixer's gains and mutes reach the
// output as linear gains, a mute keeping the gain for later.
TEST_F(TransportTest, TheLaneMixerSetsTheGainOfExactlyItsLanes) {
    using media::Lane;
    testing::writeWav(dir.path() + u"/k.wav"_qs, 10, 1000);
    struct Case {
        ReadingMode mode;
        const char* lines;
        std::vector<Lane> lanes;
    };
    const Case cases[] = {
        {ReadingMode::Classic,
         "#00101:01\n#00211:01\n#00316:01\n#00421:01\n#00526:01\n",
         {Lane::Background, Lane::Keys1P, Lane::Keys1P, Lane::Keys2P, Lane::Keys2P}},
        {ReadingMode::Full,
         "#00101:01\n#00219:01\n#00329:01\n#00451:0101\n#00561:0101\n#LNTYPE 1\n",
         {Lane::Background, Lane::Keys1P, Lane::Keys2P, Lane::Keys1P, Lane::Keys2P}},
    };
    for (const Case& c : cases) {
        ReadOptions reading;
        reading.mode = c.mode;
        controller.setReadOptions(reading);
        output.starts.clear();
        controller.open(
            chartFile(u"lanes.bms"_qs, QByteArray("#BPM 240\n#WAV01 k.wav\n") + c.lines));
        ASSERT_TRUE(controller.waitForLoad(testing::kLoadWaitMs));
        runFor(controller, clock, 10000);
        std::vector<Lane> lanes;
        for (const auto& start : output.starts) {
            lanes.push_back(start.lane);
        }
        EXPECT_EQ(lanes, c.lanes) << static_cast<int>(c.mode);
    }
    struct Setting {
        Lane lane;
        double gainDb;
        bool muted;
        float gain;
    };
    const Setting settings[] = {{Lane::Keys1P, -6, false, 0.501187f},
                                {Lane::Keys1P, -6, true, 0},
                                {Lane::Keys1P, -6, false, 0.501187f},
                                {Lane::Background, 10, false, 1.995262f},
                                {Lane::Keys2P, -HUGE_VAL, false, 0}};
    for (const Setting& s : settings) {
        controller.setLaneGainDb(s.lane, s.gainDb);
        controller.setLaneMuted(s.lane, s.muted);
        EXPECT_NEAR(output.gains[static_cast<std::size_t>(s.lane)], s.gain, 1e-6) << s.gainDb;
    }
    EXPECT_EQ(output.gains[static_cast<std::size_t>(Lane::Other)], 1.0f);
}

// Pause holds the run in either reading: its sounds stop where the output has them heard, nothing
// falls due while it holds, and Play goes on from the same chart time, the ringing sound from the
// frame it had reached. At 240 bpm a measure is 1 s; sound 01 lasts 500 ms, sound 02 starts at
// 500 ms.
TEST_F(TransportTest, PauseHoldsTheRunAndPlayGoesOnWhereItStood) {
    testing::writeWav(dir.path() + u"/long.wav"_qs, 500, 1000);
    for (const ReadingMode mode : {ReadingMode::Classic, ReadingMode::Full}) {
        SCOPED_TRACE(static_cast<int>(mode));
        ReadOptions reading;
        reading.mode = mode;
        controller.setReadOptions(reading);
        controller.open(chartFile(u"pause.bms"_qs,
                                  "#BPM 240\n#WAV01 long.wav\n#WAV02 long.wav\n#00101:0102\n"));
        ASSERT_TRUE(controller.waitForLoad(testing::kLoadWaitMs));
        const double start = clock.now;
        runFor(controller, clock, 1200);  // measure 1 starts at 1000 ms: sound 01 has played 200
        output.starts.clear();
        output.stopTimes.clear();
        controller.pause();
        EXPECT_EQ(output.stopTimes, std::vector<double>{clock.now});
        EXPECT_TRUE(controller.paused());
        clock.now += 5000;
        runFor(controller, clock, 10000);
        EXPECT_TRUE(output.starts.empty());
        EXPECT_DOUBLE_EQ(controller.positionMs(), 1200);
        const double resumedAt = clock.now;
        controller.play();
        EXPECT_FALSE(controller.paused());
        runFor(controller, clock, 400);
        EXPECT_EQ(output.startsFrom(resumedAt), u"1@0+200 2@300+0"_qs) << start;
        controller.stop();
        runFor(controller, clock, 10000);
    }
}

// A chart that cannot be read says why on the status line, and the picture of the chart before
// it goes.
TEST_F(TransportTest, AFailedLoadSaysWhyAndClearsThePicture) {
    const QString big = dir.path() + u"/big.bms"_qs;
    testing::writeBytes(big, {});
    ASSERT_TRUE(QFile::resize(big, kMaxChartBytes + 1));  // sparse: costs no disk
    testing::writeImage(dir.path() + u"/red.bmp"_qs, "BMP");
    controller.setPicturesShown(true);
    controller.setPictureSize({8, 8});
    controller.open(chartFile(u"red.bms"_qs, "#BMP01 red.bmp\n#00104:01\n#00201:01\n"));
    ASSERT_TRUE(controller.waitForLoad(testing::kLoadWaitMs));
    runFor(controller, clock, 3000);
    ASSERT_EQ(view.picture.pixel(4, 4) & 0xFFFFFF, 0xFF0000u);
    controller.open(big);
    ASSERT_TRUE(controller.waitForLoad(testing::kLoadWaitMs));
    EXPECT_EQ(view.statuses.back(), PlayerStatus::TooLarge);
    EXPECT_EQ(statusText(view.statuses.back()), u"ｽﾃｰﾀｽ : ﾌｧｲﾙが大きすぎます。"_qs);
    EXPECT_EQ(view.picture.pixel(4, 4) & 0xFFFFFF, 0u);
}

TEST_F(TransportTest, NextAndBackWrapAroundAndACompletedChartMovesOn) {
    controller.next();  // an empty queue opens nothing
    controller.back();
    EXPECT_TRUE(view.information.isEmpty());
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
        ASSERT_TRUE(controller.waitForLoad(testing::kLoadWaitMs));
        EXPECT_EQ(queue.current, k.expected);
        EXPECT_EQ(controller.chart().title, QString::fromUtf16(k.title));
    }
    queue.current = -1;
    controller.next();
    ASSERT_TRUE(controller.waitForLoad(testing::kLoadWaitMs));
    runFor(controller, clock, 3000);  // A completes and B is opened
    ASSERT_TRUE(controller.waitForLoad(testing::kLoadWaitMs));
    EXPECT_EQ(controller.chart().title, u"B"_qs);
    EXPECT_TRUE(completed());
}

// From event 1 of 30: FF skips ten events and a second; Rev goes back fifty and a second, never
// before the first event. FF past the last event ends the chart as completed.
TEST_F(TransportTest, FastForwardAndRewind) {
    queue.paths.push_back(chartFile(u"a.bms"_qs, "#00111:" + QByteArray(2 * 30, '1') + "\n"));
    controller.next();
    ASSERT_TRUE(controller.waitForLoad(testing::kLoadWaitMs));
    struct Case {
        bool forward;
        long long index;
    };
    const Case cases[] = {{true, 11}, {true, 21}, {false, 1}, {false, 1},
                          {true, 11}, {true, 21}, {true, 31}};
    for (const Case& c : cases) {
        const double start = controller.engine().startMs();
        c.forward ? controller.fastForward() : controller.rewind();
        EXPECT_EQ(controller.engine().nextEvent(), c.index);
        EXPECT_EQ(elapsedMs(controller.engine().startMs(), start), c.forward ? -1000 : 1000);
    }
    EXPECT_FALSE(completed());
    runFor(controller, clock, 10);
    EXPECT_TRUE(completed());
}

TEST_F(TransportTest, ReleasedSoundsPlayNothing) {
    testing::writeWav(dir.path() + u"/k.wav"_qs, 10, 1000);
    controller.open(chartFile(u"a.bms"_qs, "#WAV01 k.wav\n#00111:01\n"));
    ASSERT_TRUE(controller.waitForLoad(testing::kLoadWaitMs));
    controller.releaseSounds();  // during the run, before its first pass
    runFor(controller, clock, 100);
    EXPECT_TRUE(output.starts.empty());
    controller.preview().press();
    controller.preview().drag(SoundPreview::kLeftButton);
    controller.preview().play();
    EXPECT_TRUE(output.starts.empty());
}

// Loads as the player does, but a chart whose name holds "held" waits at the gate until the test
// opens it or the load is told to stop; it then loads whole all the same, so that a result that
// should be discarded has something to show.
struct Gate {
    LoadedChart load(const QString& path, const MediaOptions& options, LoadObserver* observer,
                     const ReadOptions& reading) {
        if (path.contains(u"held"_qs)) {
            std::unique_lock lock(mutex);
            std::stop_token stop = options.stop;
            changed.wait_for(lock, stop, std::chrono::seconds(30), [&] { return open; });
            stopSeen = stop.stop_requested();
        }
        MediaOptions whole = options;
        whole.stop = {};
        LoadedChart loaded = loadChart(path, whole, observer, reading);
        const std::lock_guard lock(mutex);
        ++returned;
        changed.notify_all();
        return loaded;
    }
    // Waits until `count` loads have returned; false after 30 s.
    bool returnedAtLeast(int count) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(30), [&] { return returned >= count; });
    }
    void setOpen(bool value) {
        const std::lock_guard lock(mutex);
        open = value;
        stopSeen = false;
        changed.notify_all();
    }

    std::mutex mutex;
    std::condition_variable_any changed;
    bool open = false;
    bool stopSeen = false;
    int returned = 0;
};

// open() returns while its chart is still loading; whatever ends the load, nothing of that chart
// is shown or played, even when its load ends after the next chart plays.
TEST_F(TransportTest, AnEndedLoadLeavesNoTrace) {
    Gate gate;
    const auto gated = [&](const QString& path, const MediaOptions& options, LoadObserver* observer,
                           const ReadOptions& reading) {
        return gate.load(path, options, observer, reading);
    };
    controller.setChartLoad(gated);
    const QString held = chartFile(u"held.bms"_qs, "#TITLE H\n#WAV01 h.wav\n#00111:01\n");
    const QString b = chartFile(u"b.bms"_qs, "#TITLE B\n#WAV01 b.wav\n#00111:01\n");
    queue.paths = {held, b};
    const QStringList bMessages{u"Waveﾌｧｲﾙ b.wav が見つかりません。(WAV01)"_qs};
    struct Case {
        const char* what;
        std::function<void()> end;
        QString title;
        QStringList messages;
        PlayerStatus status;
    };
    const Case cases[] = {
        {"Stop", [&] { controller.stop(); }, Chart().title, {}, PlayerStatus::Stopped},
        {"Next", [&] { controller.next(); }, u"B"_qs, bMessages, PlayerStatus::Playing},
        {"Back", [&] { controller.back(); }, u"B"_qs, bMessages, PlayerStatus::Playing},
        {"open", [&] { controller.open(b); }, u"B"_qs, bMessages, PlayerStatus::Playing},
    };
    int loads = 0;
    for (const Case& c : cases) {
        gate.setOpen(false);
        queue.current = 0;
        controller.open(held);
        ASSERT_TRUE(controller.loading()) << c.what;
        EXPECT_TRUE(controller.running()) << c.what;
        c.end();
        ASSERT_TRUE(controller.waitForLoad(testing::kLoadWaitMs)) << c.what;
        loads += c.status == PlayerStatus::Playing ? 2 : 1;
        ASSERT_TRUE(gate.returnedAtLeast(loads)) << c.what;
        EXPECT_TRUE(gate.stopSeen) << c.what;
        controller.waitForLoad(0);  // what the ended load still reported
        EXPECT_EQ(controller.chart().title, c.title) << c.what;
        EXPECT_EQ(view.messages, c.messages) << c.what;
        EXPECT_EQ(view.statuses.back(), c.status) << c.what;
        EXPECT_EQ(controller.running(), c.status == PlayerStatus::Playing) << c.what;
    }

    // Play after a stopped load loads the chart again.
    controller.open(held);
    controller.stop();
    gate.setOpen(true);
    controller.play();
    ASSERT_TRUE(controller.waitForLoad(testing::kLoadWaitMs));
    EXPECT_EQ(controller.chart().title, u"H"_qs);
    EXPECT_TRUE(controller.running());
    ASSERT_TRUE(gate.returnedAtLeast(loads + 2));

    // The player's end stops a held load instead of waiting for it.
    gate.setOpen(false);
    {
        PlayerController ending(output, clock, queue, view);
        ending.setChartLoad(gated);
        ending.open(held);
    }
    EXPECT_TRUE(gate.stopSeen);
}

// Each row on a fresh preview: P press, L/R/B drag with the left, right or both buttons, M with the
// middle one alone, > play. Sounds 1 and FF are loaded.
TEST_F(TransportTest, SoundPreview) {
    ChartMedia media;
    media.sounds.resize(256);
    media.sounds[1] = media.sounds[255] = testing::makeSound(10);
    struct Case {
        const char* actions;
        size_t starts;
        const char16_t* index;
    };
    const Case cases[] = {
        {">", 0, u""},      {"L>", 0, u"1"},    // a drag before the first press arms nothing
        {"P", 0, u"0"},     {"PLP>", 1, u"1"},  // a press never changes the index
        {"PR>>", 2, u"FF"}, {"PRM>", 1, u"FF"}, {"PRB>", 0, u"0"},  // left wins; 0 is not loaded
    };
    for (const Case& c : cases) {
        SoundPreview preview(media, output, clock);
        output.starts.clear();
        for (const char* a = c.actions; *a != 0; ++a) {
            const int buttons = *a == 'L' ? 1 : *a == 'R' ? 2 : *a == 'B' ? 3 : 4;
            *a == 'P' ? preview.press() : *a == '>' ? preview.play() : preview.drag(buttons);
        }
        EXPECT_EQ(output.starts.size(), c.starts) << c.actions;
        EXPECT_EQ(preview.indexText(), QString::fromUtf16(c.index)) << c.actions;
    }
}

}  // namespace
}  // namespace carvel
