#include <gtest/gtest.h>

#include "testing/qt_printers.h"

#include "playback/playback_engine.h"
#include "testing/fakes.h"

namespace carvel {
namespace {

using testing::FakeClock;
using testing::makePicture;
using testing::makeSound;
using testing::RecordingHost;
using testing::RecordingOutput;
using testing::runFor;

using Statuses = std::vector<PlayerStatus>;
constexpr PlayerStatus kPlaying = PlayerStatus::Playing;
constexpr PlayerStatus kStopped = PlayerStatus::Stopped;
constexpr PlayerStatus kCompleted = PlayerStatus::Completed;

class EngineTest : public ::testing::Test {
  protected:
    EngineTest() : output(clock), engine(chart, media, output, clock, host) {}

    void events(const std::vector<std::string>& list, int bpm = 130) {
        chart.barEndRatios.clear();
        chart.events = testing::eventsFromTexts(list, chart.barEndRatios);
        chart.bpm = bpm;
    }
    void sound(int index, int frames = 10) {
        if (static_cast<size_t>(index) >= media.sounds.size()) {
            media.sounds.resize(static_cast<size_t>(index) + 1);
        }
        media.sounds[static_cast<size_t>(index)] = makeSound(frames);
    }
    std::vector<int> voices() const { return output.voices(); }

    FakeClock clock;
    RecordingOutput output;
    RecordingHost host;
    Chart chart;
    ChartMedia media;
    PlaybackEngine engine;
};

// Which sounds start, and at which clock reading each falls due.
TEST_F(EngineTest, SoundsStartAtTheirDueTime) {
    struct Case {
        const char* what;
        std::vector<std::string> events;
        int bpm;
        double start;                                  // the clock at Play
        std::vector<std::pair<int, double>> expected;  // voice, due time
    };
    // Sounds 1 and 2 are loaded; 3 is defined but was never loaded, 200 is beyond every table.
    const double wrap = 4294967296.0;
    const Case cases[] = {
        {"one measure is 240000 / 130 ms",
         {"000192,11,1", "000384,11,2"},
         130,
         0,
         {{1, 192 * 1250.0 / 130}, {2, 384 * 1250.0 / 130}}},
        {"a chord: one pass each, one due time",
         {"000048,11,1", "000048,12,2", "000048,01,1"},
         120,
         0,
         {{1, 500}, {2, 500}, {1, 500}}},
        {"unloaded and unknown sounds play nothing",
         {"000000,11,3", "000000,11,200", "000000,11,1"},
         130,
         0,
         {{1, 0}}},
        // A bar end at 720 of a measure shortened to 0.75 moves the clock 500 ms on.
        {"a shortened bar",
         {"000720,2,0.75", "000768,11,1"},
         120,
         0,
         {{1, 768 * 1250.0 / 120 - 500}}},
        // A bar-length rewrite can leave tick 90 after tick 96: it sounds when it is reached.
        {"an event behind a later one",
         {"000096,11,1", "000090,11,2", "000192,11,1"},
         120,
         0,
         {{1, 1000}, {2, 1000}, {1, 2000}}},
        {"the counter wraps during the run",
         {"000000,11,1", "000096,11,1", "000192,11,1"},
         120,
         wrap - 700,
         {{1, wrap - 700}, {1, 300}, {1, 1300}}},
    };
    for (const Case& c : cases) {
        output.starts.clear();
        sound(1);
        sound(2);
        media.sounds.resize(4);
        events(c.events, c.bpm);
        clock.now = c.start;
        engine.play();
        runFor(engine, clock, 100000);
        ASSERT_EQ(output.starts.size(), c.expected.size()) << c.what;
        for (size_t i = 0; i < c.expected.size(); ++i) {
            EXPECT_EQ(output.starts[i].voice, c.expected[i].first) << c.what;
            EXPECT_DOUBLE_EQ(output.starts[i].dueMs, c.expected[i].second) << c.what;
            // Never scheduled before it was due.
            EXPECT_LE(elapsedMs(output.starts[i].dueMs, output.starts[i].calledAtMs), 0) << c.what;
        }
    }
}

TEST_F(EngineTest, PlayWithoutEventsDoesNothingAndTheFirstPassHandlesNone) {
    engine.play();
    EXPECT_FALSE(engine.running());
    EXPECT_FALSE(engine.playing());
    EXPECT_TRUE(host.statuses.empty());

    sound(1);
    events({"000000,11,1"});
    clock.now = 5000;
    engine.play();
    EXPECT_EQ(host.statuses, Statuses{kPlaying});
    engine.pass();
    EXPECT_TRUE(output.starts.empty());
    EXPECT_EQ(engine.position(), 0);
    engine.pass();
    ASSERT_EQ(output.starts.size(), 1u);
    EXPECT_EQ(output.starts[0].dueMs, 5000);
}

TEST_F(EngineTest, ClockJumpRoundsHalfToEven) {
    struct Case {
        double start;
        int bpm;
        const char* marker;
        double expected;
    };
    const Case cases[] = {
        {0, 130, "000720,2,0.75", wrapClock(-462)},  // 461.54 ms earlier
        {1000, 640, "000720,2,0.5", 812},            // 812.5 rounds to even
        {1001, 640, "000720,2,0.5", 814},            // 813.5 rounds to even
        {1000, 150, "000720,2,1", 1000},
        {1000, 100, "000720,2,2", 3400},  // a longer bar moves the start later
    };
    for (const Case& c : cases) {
        clock.now = c.start;
        events({c.marker}, c.bpm);
        engine.play();
        engine.pass();
        clock.now = wrapClock(c.start + 100000);
        engine.pass();  // reads the clock: the marker is due
        engine.pass();  // handles it
        EXPECT_EQ(engine.startMs(), c.expected) << c.marker << " at " << c.bpm;
    }
}

TEST_F(EngineTest, WaitOffDropsLateEventsWaitOnPlaysThemAll) {
    sound(1);
    sound(2);
    media.pictures = {nullptr, makePicture({8, 8}, 0xFF0000, 0xFF0000), nullptr,
                      makePicture({8, 8}, 0x0000FF, 0x0000FF)};
    events({"000010,11,1", "000100,11,2", "000190,6,3", "000500,11,1", "000600,4,1"}, 120);
    engine.setPicturesShown(true);
    engine.setOverlay(PlaybackEngine::Overlay::Miss);
    for (const bool skipLate : {false, true}) {
        output.starts.clear();
        engine.setSkipLateEvents(skipLate);
        engine.play();
        engine.pass();
        clock.now += 2100;  // a stall: position 201.6; every event before tick 500 is late
        runFor(engine, clock, 0);
        runFor(engine, clock, 10000);
        // The picture at 600 shows the Miss picture only if its selection (channel 6) was handled.
        const QRgb shown = host.pictures.back().pixel(4, 4) & 0xFFFFFF;
        if (!skipLate) {
            EXPECT_EQ(voices(), (std::vector<int>{1, 2, 1}));
            EXPECT_EQ(shown, 0x0000FFu);
        } else {
            EXPECT_EQ(voices(), std::vector<int>{1});
            EXPECT_EQ(shown, 0xFF0000u);
        }
    }
}

// How a run ends: by itself after its last sounds have rung out, stopped, or with the player
// hidden; a stop during the ring-out still completes.
TEST_F(EngineTest, HowARunEnds) {
    enum class Act { None, Stop, Hide };
    struct Case {
        Act act;
        double actAt;  // ms after Play
        Statuses statuses;
        int completions, closes;
        size_t starts;
    };
    const Case cases[] = {
        {Act::None, 0, {kPlaying, kCompleted}, 1, 0, 2},
        {Act::Stop, 100, {kPlaying, kStopped}, 0, 0, 1},
        {Act::Hide, 100, {kPlaying, kStopped}, 0, 1, 1},
        {Act::Stop, 2500, {kPlaying, kCompleted}, 1, 0, 2},  // during the ring-out
    };
    for (const Case& c : cases) {
        host.statuses.clear();
        host.completions = host.closes = 0;
        host.visible = true;
        output.starts.clear();
        sound(1, 3000);  // rings 3 s from its start at 0
        sound(2, 100);
        events({"000000,11,1", "000192,11,2"}, 120);  // the second at 2 s
        engine.play();
        runFor(engine, clock, c.actAt);
        if (c.act == Act::Stop) {
            engine.stop();
        } else if (c.act == Act::Hide) {
            host.visible = false;
        }
        runFor(engine, clock, 2999 - c.actAt);
        EXPECT_EQ(engine.running(), c.act == Act::None) << c.actAt;
        runFor(engine, clock, 10000);
        EXPECT_FALSE(engine.running());
        EXPECT_EQ(host.statuses, c.statuses) << c.actAt;
        EXPECT_EQ(host.completions, c.completions) << c.actAt;
        EXPECT_EQ(host.closes, c.closes) << c.actAt;
        EXPECT_EQ(output.starts.size(), c.starts) << c.actAt;
        // A run that completed by itself is not a stopped one.
        EXPECT_EQ(engine.playing(), c.act == Act::None) << c.actAt;
    }
}

TEST_F(EngineTest, PlayDuringARunStartsOver) {
    sound(1);
    sound(2);
    events({"000000,11,1", "000048,11,2"}, 120);
    engine.play();
    runFor(engine, clock, 600);
    engine.play();
    EXPECT_EQ(engine.nextEvent(), 1);
    runFor(engine, clock, 600);
    EXPECT_EQ(voices(), (std::vector<int>{1, 2, 1, 2}));
}

class PictureTest : public EngineTest {
  protected:
    void picture(int index, QRgb color, QRgb corner) {
        if (static_cast<size_t>(index) >= media.pictures.size()) {
            media.pictures.resize(static_cast<size_t>(index) + 1);
        }
        media.pictures[static_cast<size_t>(index)] = makePicture({256, 256}, color, corner);
    }
    QRgb center() const { return host.pictures.back().pixel(128, 128) & 0xFFFFFF; }
    QRgb corner() const { return host.pictures.back().pixel(0, 0) & 0xFFFFFF; }
};

TEST_F(PictureTest, BaseAndLayerWithBlackTransparent) {
    picture(1, qRgb(255, 0, 0), qRgb(255, 0, 0));
    picture(2, qRgb(0, 0, 0), qRgb(0, 255, 0));  // a layer that is black but for one corner
    events({"000000,4,1", "000000,7,2", "000096,7,9"}, 120);
    engine.setPicturesShown(true);
    engine.play();
    runFor(engine, clock, 10);
    ASSERT_EQ(host.pictures.size(), 3u);  // the black start, then base, then base + layer
    EXPECT_EQ(center(), 0xFF0000u);
    EXPECT_EQ(corner(), 0x00FF00u);
    runFor(engine, clock, 1000);  // layer index 9 is not loaded: the layer turns black
    EXPECT_EQ(corner(), 0xFF0000u);
}

TEST_F(PictureTest, TogglesAndDisabledPictures) {
    picture(1, qRgb(255, 0, 0), qRgb(255, 0, 0));
    picture(3, qRgb(0, 0, 255), qRgb(0, 0, 255));
    media.stage = makePicture({640, 480}, qRgb(9, 9, 9), qRgb(9, 9, 9));
    events({"000000,4,1", "000000,6,3", "000096,4,1", "000192,4,1", "000288,7,1"}, 120);
    engine.setPicturesShown(true);
    engine.play();
    runFor(engine, clock, 10);
    EXPECT_EQ(center(), 0xFF0000u);
    engine.setOverlay(PlaybackEngine::Overlay::Miss);
    runFor(engine, clock, 1000);  // Miss picture 3 was selected at tick 0
    EXPECT_EQ(center(), 0x0000FFu);
    engine.setOverlay(PlaybackEngine::Overlay::Title);
    runFor(engine, clock, 1000);
    EXPECT_EQ(center(), 0x090909u);
    const size_t shown = host.pictures.size();
    engine.setPicturesShown(false);
    runFor(engine, clock, 1000);
    EXPECT_EQ(host.pictures.size(), shown);  // the event is consumed, the picture frozen
    EXPECT_EQ(engine.nextEvent(), 6);
}

}  // namespace
}  // namespace carvel
