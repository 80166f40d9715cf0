#include <gtest/gtest.h>

#include "testing/qt_printers.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>

#include "chart/chart_reader.h"
#include "playback/player_controller.h"
#include "playback/start_gate.h"
#include "testing/fakes.h"
#include "testing/test_files.h"

namespace carvel {
namespace {

using testing::runFor;

// A load that hands the chart over at once and then each sound when the test releases it, as a
// decoder taking whatever time the test lets pass on the fake clock would.
class FakeDecoder {
  public:
    LoadedChart load(const QString& path, const MediaOptions& options, LoadObserver* observer,
                     const ReadOptions& reading) {
        auto read = std::make_shared<ReadChart>();
        read->chart = readChart(path, nullptr, reading).chart;
        read->media = pendingMedia(read->chart.media);
        read->firstUses = firstUses(read->chart);
        LoadedChart loaded;
        loaded.found = loaded.handedOver = true;
        loaded.media = read->media;
        std::size_t left =
            std::count(read->media.pendingSounds.begin(), read->media.pendingSounds.end(), true) +
            std::count(read->media.pendingPictures.begin(), read->media.pendingPictures.end(),
                       true);
        observer->statusChanged(PlayerStatus::Opened);
        observer->chartRead(std::move(read));
        std::unique_lock lock(mutex_);
        ++loads_;
        changed_.notify_all();
        std::stop_token stop = options.stop;
        while (left > 0) {
            if (!changed_.wait_for(lock, stop, std::chrono::seconds(30),
                                   [&] { return !released_.empty(); })) {
                stopSeen_ = stop.stop_requested();
                break;
            }
            const auto [index, picture] = released_.front();
            released_.pop_front();
            MediaItem item{MediaItem::Kind::Sound, index, testing::makeSound(10), {}, {}};
            if (picture) {
                item = {MediaItem::Kind::Picture,
                        index,
                        {},
                        testing::makePicture(QSize(4, 4), 0xFFFF0000, 0xFFFF0000),
                        {}};
            }
            place(loaded.media, item);
            observer->mediaReady(std::move(item));
            --left;
            ++handed_;
            changed_.notify_all();
        }
        observer->loadStateChanged(LoadState::Loaded);
        return loaded;
    }

    // Waits until `count` loads have handed their chart over.
    bool loadsAtLeast(int count) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(30), [&] { return loads_ >= count; });
    }
    // Hands sound (or picture) index over and waits until it has been.
    bool release(int index, bool picture = false) {
        std::unique_lock lock(mutex_);
        const int before = handed_;
        released_.emplace_back(index, picture);
        changed_.notify_all();
        return changed_.wait_for(lock, std::chrono::seconds(30), [&] { return handed_ > before; });
    }
    bool stopSeen() {
        const std::lock_guard lock(mutex_);
        return stopSeen_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable_any changed_;
    std::deque<std::pair<int, bool>> released_;
    int loads_ = 0;
    int handed_ = 0;
    bool stopSeen_ = false;
};

class Statuses : public PlayerView {
  public:
    void statusChanged(PlayerStatus status) override { list.push_back(status); }
    void pictureChanged(const QImage& primary, double /*dueMs*/) override {
        pictureCenter = primary.isNull() ? 0 : primary.pixel(primary.rect().center());
    }
    QRgb pictureCenter = 0;
    void loadStateChanged(LoadState state) override { load = state; }
    std::vector<PlayerStatus> list;
    LoadState load = LoadState::Waiting;
};

class ProgressiveStartTest : public ::testing::Test, protected testing::PlayerRig {
  protected:
    ProgressiveStartTest() {
        controller.setView(view);
        controller.setChartLoad([this](const QString& path, const MediaOptions& options,
                                       LoadObserver* observer, const ReadOptions& reading) {
            return decoder.load(path, options, observer, reading);
        });
        for (const char16_t* name : {u"/a.wav", u"/b.wav", u"/c.wav"}) {
            testing::writeWav(dir.path() + QString::fromUtf16(name), 10, 1000);
        }
        // 120 BPM: 01 at 0 ms, 02 at 1,000 ms, 03 at 4,000 ms.
        chart = chartFile(u"p.bms"_qs,
                          "#BPM 120\n#WAV01 a.wav\n#WAV02 b.wav\n#WAV03 c.wav\n"
                          "#00001:01\n#00011:0002\n#00211:03\n");
    }
    // Lets `ms` pass on the clock, hands sound index over and lets the controller hear of it.
    void decode(double ms, int index) {
        clock.now += ms;
        ASSERT_TRUE(decoder.release(index));
        controller.waitForLoad(0);
    }

    FakeDecoder decoder;
    Statuses view;
    QString chart;
};

// The run starts once the first two seconds' sounds are ready; a sound that is late holds it
// (Wait On) until it arrives, then starts where it was due, or is dropped (Wait Off, also when
// switched to while the run waits).
TEST_F(ProgressiveStartTest, StartsWithTheFirstMomentsAndWaitsForALateSound) {
    using S = PlayerStatus;
    struct Case {
        bool skipLate;
        bool switchedOff;  // Wait Off once the run waits
        const char* starts;
        std::vector<PlayerStatus> statuses;
    };
    const Case cases[] = {
        {false,
         false,
         "1@0+0 2@1000+0 3@4250+0",
         {S::Opened, S::Playing, S::LoadingMedia, S::Playing, S::Completed}},
        {true, false, "1@0+0 2@1000+0", {S::Opened, S::Playing, S::Completed}},
        {false,
         true,
         "1@0+0 2@1000+0",
         {S::Opened, S::Playing, S::LoadingMedia, S::Playing, S::Completed}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        view.list.clear();
        output.starts.clear();
        controller.setSkipLateEvents(c.skipLate);
        controller.open(chart);
        ASSERT_TRUE(decoder.loadsAtLeast(&c - cases + 1));
        controller.waitForLoad(0);
        EXPECT_TRUE(controller.loading());
        decode(40, 1);
        EXPECT_TRUE(controller.loading()) << "02, due at 1 s, is not ready";
        decode(40, 2);
        ASSERT_FALSE(controller.loading());
        EXPECT_TRUE(controller.decoding());
        const double start = clock.now;
        runFor(controller, clock, 10000);
        if (!c.skipLate) {
            EXPECT_EQ(view.list.back(), S::LoadingMedia);
            EXPECT_FALSE(controller.paused()) << "waiting is not a pause";
            EXPECT_DOUBLE_EQ(controller.positionMs(), 4000);
            if (c.switchedOff) {
                controller.setSkipLateEvents(true);
                runFor(controller, clock, 10000);
            }
            decode(250, 3);
            runFor(controller, clock, 10000);
        } else {
            decode(250, 3);
        }
        EXPECT_FALSE(controller.decoding());
        EXPECT_EQ(output.startsFrom(start), QString::fromLatin1(c.starts));
        EXPECT_EQ(view.list, c.statuses);
        EXPECT_EQ(view.load, LoadState::Loaded);
    }
}

// A picture that a seek finds still pending shows black, and is drawn once it arrives.
TEST_F(ProgressiveStartTest, APicturePendingAtASeekIsDrawnOnArrival) {
    const QString pictured = chartFile(u"q.bms"_qs,
                                       "#BPM 120\n#WAV01 a.wav\n#BMP01 red.bmp\n#00001:01\n"
                                       "#00204:01\n#00411:01\n");
    testing::writeBytes(dir.path() + u"/red.bmp"_qs, QByteArray());
    controller.setSkipLateEvents(true);
    controller.setPicturesShown(true);
    controller.open(pictured);
    ASSERT_TRUE(decoder.loadsAtLeast(1));
    controller.waitForLoad(0);
    decode(40, 1);
    ASSERT_FALSE(controller.loading());
    runFor(controller, clock, 100);
    controller.seekTo(5000);
    runFor(controller, clock, 100);
    EXPECT_EQ(view.pictureCenter, 0xFF000000u) << "black: picture 01 is still pending";
    clock.now += 40;
    ASSERT_TRUE(decoder.release(1, true));
    controller.waitForLoad(0);
    EXPECT_EQ(view.pictureCenter, 0xFFFF0000u);
}

// The run may start once the first two seconds are ready and decoding, at its pace so far, keeps a
// second ahead of the run to the end.
TEST(StartGateTest, WaitsForTheLeadAndAPaceThatStaysAhead) {
    using K = MediaRequest::Kind;
    const std::vector<FirstUse> uses{
        {0, K::Sound, 1}, {0, K::Picture, 1}, {2500, K::Sound, 2}, {30000, K::Sound, 3}};
    struct Case {
        std::vector<int> pendingSounds;
        bool picturePending;
        double elapsedMs;
        double lengthMs;
        bool ready;
    };
    const Case cases[] = {
        {{1, 2, 3}, false, 100, 60000, false},
        {{}, true, 100, 60000, false},        // a picture counts as a sound does
        {{2, 3}, false, 100, 60000, true},    // 25 chart ms a ms
        {{2, 3}, false, 5000, 60000, false},  // half as fast as the run
        {{3}, false, 20000, 60000, true},     // 1.5 times as fast
        {{3}, false, 100000, 60000, false},   // 0.3 times: caught up with before the end
        {{}, false, 1e6, 60000, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        ChartMedia media;
        media.pendingSounds.assign(4, false);
        media.pendingPictures.assign(2, false);
        for (int i : c.pendingSounds) {
            media.pendingSounds[static_cast<std::size_t>(i)] = true;
        }
        media.pendingPictures[1] = c.picturePending;
        ChartMedia before;  // all pending as decoding begins
        before.pendingSounds.assign(4, true);
        before.pendingPictures.assign(2, true);
        StartGate gate(uses, c.lengthMs, before, 1000);
        EXPECT_EQ(gate.ready(media, 1000 + c.elapsedMs), c.ready);
    }
}

// Two sounds pending at one time, found late: the run holds at their time for each in turn, so
// neither is lost, and they sound together (02's first start is stopped where it starts).
TEST_F(ProgressiveStartTest, APendingChordFoundLateHoldsForEachSound) {
    controller.open(chartFile(u"chord.bms"_qs,
                              "#BPM 120\n#WAV01 a.wav\n#WAV02 b.wav\n#WAV03 c.wav\n"
                              "#00001:01\n#00211:02\n#00212:03\n"));
    ASSERT_TRUE(decoder.loadsAtLeast(1));
    decode(10, 1);
    ASSERT_FALSE(controller.loading());
    const double start = clock.now;
    runFor(controller, clock, 3990);
    clock.now += 25;  // the pass for 4,000 ms comes 15 ms late
    runFor(controller, clock, 0);
    EXPECT_DOUBLE_EQ(controller.positionMs(), 4000);
    decode(100, 2);
    runFor(controller, clock, 0);
    EXPECT_EQ(view.list.back(), PlayerStatus::LoadingMedia) << "waits again, for 03";
    decode(100, 3);
    runFor(controller, clock, 10000);
    EXPECT_EQ(output.startsFrom(start), u"1@0+0 2@4115+0 2@4215+0 3@4215+0"_qs);
    EXPECT_EQ(std::count(view.list.begin(), view.list.end(), PlayerStatus::LoadingMedia), 2);
}

// Stop ends the decoding of a chart that plays as it decodes; Play loads it again.
TEST_F(ProgressiveStartTest, StopEndsTheDecoding) {
    controller.open(chart);
    ASSERT_TRUE(decoder.loadsAtLeast(1));
    decode(10, 1);
    decode(10, 2);
    ASSERT_TRUE(controller.playing());
    controller.stop();
    EXPECT_FALSE(controller.decoding());
    EXPECT_EQ(view.load, LoadState::Waiting);
    runFor(controller, clock, 100);
    EXPECT_EQ(view.list.back(), PlayerStatus::Stopped);
    controller.play();
    ASSERT_TRUE(decoder.loadsAtLeast(2));
    EXPECT_TRUE(controller.loading());
    controller.stop();
    // The ended loads have ended their threads: the controller goes without waiting for them.
    EXPECT_TRUE(controller.waitForLoad(testing::kLoadWaitMs));
    EXPECT_TRUE(decoder.stopSeen());
}

}  // namespace
}  // namespace carvel

namespace carvel {
namespace {

// Loads as the player does and counts the loads of each chart.
class PreparingTest : public ::testing::Test, protected testing::PlayerRig {
  protected:
    PreparingTest() {
        controller.setView(view);
        controller.setChartLoad([this](const QString& path, const MediaOptions& options,
                                       LoadObserver* observer, const ReadOptions& reading) {
            {
                const std::lock_guard lock(mutex);
                ++loads[path];
            }
            return loadChart(path, options, observer, reading);
        });
        testing::writeWav(dir.path() + u"/k.wav"_qs, 10, 1000);
    }
    int loadsOf(const QString& path) {
        const std::lock_guard lock(mutex);
        return loads[path];
    }
    // Plays the current chart (a sound at 1,846 ms) to its end and a little of the next,
    // preparing that on the way.
    void playToTheEnd() {
        runFor(controller, clock, 100);
        ASSERT_TRUE(controller.waitForPrepared(testing::kLoadWaitMs));
        EXPECT_FALSE(controller.preparedPath().isEmpty());
        runFor(controller, clock, 1800);
    }

    Statuses view;
    std::mutex mutex;
    std::map<QString, int> loads;
};

// The next chart loads while this one plays its last seconds, and opens from there without a
// load of its own; a chart file changed since is loaded again.
TEST_F(PreparingTest, TheNextChartOpensPrepared) {
    const QString a = chartFile(u"a.bms"_qs, "#TITLE A\n#WAV01 k.wav\n#00101:01\n");
    const QString b = chartFile(u"b.bms"_qs, "#TITLE B\n#WAV01 k.wav\n#WAV02 no.wav\n#00101:01\n");
    queue.paths = {a, b};
    queue.current = 0;
    controller.open(a);
    ASSERT_TRUE(controller.waitForLoad(testing::kLoadWaitMs));
    playToTheEnd();
    EXPECT_EQ(controller.chart().title, u"B"_qs);
    EXPECT_FALSE(controller.loading()) << "no load between the two";
    EXPECT_EQ(loadsOf(b), 1);
    EXPECT_EQ(view.load, LoadState::Loaded);
    EXPECT_EQ(view.list.back(), PlayerStatus::Playing);
    EXPECT_EQ(controller.loadedMedia().sounds.size(), 2u);

    // A is prepared while B plays; then its file changes.
    runFor(controller, clock, 100);
    ASSERT_TRUE(controller.waitForPrepared(testing::kLoadWaitMs));
    EXPECT_EQ(controller.preparedPath(), a);
    chartFile(u"a.bms"_qs, "#TITLE A2\n#WAV01 k.wav\n#00101:01\n");
    runFor(controller, clock, 1800);
    ASSERT_TRUE(controller.waitForLoad(testing::kLoadWaitMs));
    EXPECT_EQ(controller.chart().title, u"A2"_qs);
    EXPECT_EQ(loadsOf(a), 3);
}

}  // namespace
}  // namespace carvel
