#include <gtest/gtest.h>

#include "testing/qt_printers.h"

#include "playback/playback_engine.h"
#include "testing/fakes.h"

namespace carvel {
namespace {

using testing::makePicture;
using testing::makeSound;
using testing::runFor;

using Statuses = std::vector<PlayerStatus>;
using enum PlayerStatus;

class EngineTest : public ::testing::Test {
  protected:
    EngineTest() : output(clock), engine(chart, media, output, clock, host) {}

    // Events as "position,channel,value" texts separated by blanks.
    void events(const char* list, int bpm) {
        std::vector<std::string> texts;
        for (const QString& text : QString::fromLatin1(list).split(u' ')) {
            texts.push_back(text.toStdString());
        }
        chart.table().barEndRatios.clear();
        chart.table().events = testing::eventsFromTexts(texts, chart.table().barEndRatios);
        chart.bpm = bpm;
    }
    // Each start as "voice@due".
    QString starts() const {
        QStringList list;
        for (const auto& s : output.starts) {
            list.append(QString::number(s.voice) + u'@' + QString::number(s.dueMs, 'g', 10));
        }
        return list.join(u' ');
    }
    QRgb shown(int x = 128) const { return host.pictures.back().pixel(x, x) & 0xFFFFFF; }

    testing::FakeClock clock;
    testing::RecordingOutput output;
    testing::RecordingHost host;
    Chart chart;
    ChartMedia media;
    PlaybackEngine engine;
};

// Which sounds start, and at which clock reading each falls due. Sounds 1 and 2 are loaded; 3 is
// defined but was never loaded, 200 is beyond every table. A bar end moves the start by the time
// its missing ticks take, rounded half to even to a whole millisecond. After the first pass the
// clock may stall to tick 201.6; Wait Off drops the events found more than 10 ticks late.
TEST_F(EngineTest, SoundsStartAtTheirDueTime) {
    struct Case {
        int bpm;
        double start, stall;  // the clock at Play, its jump after the first pass
        bool waitOff;
        const char* events;
        const char* starts;
        const char* what;
    };
    const Case cases[] = {
        {130, 0, 0, false, "000013,11,1 000039,11,2", "1@125 2@375", "a beat of 130 bpm"},
        {120, 0, 0, false, "000048,11,1 000048,12,2 000048,01,1", "1@500 2@500 1@500", "a chord"},
        {130, 0, 0, false, "000000,11,3 000000,11,200 000000,11,1", "1@0", "unknown sounds"},
        {130, 0, 0, false, "000720,2,0.75 000960,11,1", "1@8768.769231", "461.54 ms earlier"},
        {640, 1000, 0, false, "000720,2,0.5 000960,11,1", "1@2687", "812.5 rounds to even"},
        {640, 1001, 0, false, "000720,2,0.5 000960,11,1", "1@2689", "813.5 rounds to even"},
        {150, 1000, 0, false, "000720,2,1 000960,11,1", "1@9000", "a whole bar"},
        {100, 1000, 0, false, "000720,2,2 000960,11,1", "1@15400", "a longer bar, a later start"},
        // A bar-length rewrite can leave tick 90 after tick 96: it sounds when it is reached.
        {120, 0, 0, false, "000096,11,1 000090,11,2 000192,11,1", "1@1000 2@1000 1@2000", "behind"},
        {120, 4294966596, 0, false, "000000,11,1 000096,11,1", "1@4294966596 1@300", "wrap"},
        {120, 0, 2100, false, "000048,11,1 000192,11,1 000480,11,2", "1@500 1@2000 2@5000", "On"},
        {120, 0, 2100, true, "000048,11,1 000192,11,1 000480,11,2", "1@2000 2@5000", "Off"},
    };
    media.sounds = {nullptr, makeSound(10), makeSound(10), nullptr};
    for (const Case& c : cases) {
        output.starts.clear();
        events(c.events, c.bpm);
        clock.now = c.start;
        engine.setSkipLateEvents(c.waitOff);
        engine.play();
        engine.pass();
        EXPECT_TRUE(output.starts.empty()) << c.what;  // the first pass only reads the clock
        clock.now += c.stall;
        runFor(engine, clock, 100000);
        EXPECT_EQ(starts(), QString::fromLatin1(c.starts)) << c.what;
        for (const auto& s : output.starts) {
            EXPECT_LE(elapsedMs(s.dueMs, s.calledAtMs), 0) << c.what;  // never called early
        }
    }
    chart.table().events.clear();
    host.statuses.clear();
    engine.play();  // nothing to play: nothing happens
    EXPECT_FALSE(engine.running());
    EXPECT_TRUE(host.statuses.empty());
}

// At 125 bpm a tick is 10 ms. Each run passes for runMs, then seeks to chart time `to`; the starts
// from the seek on are listed as "voice@due+offset", due counted from the seek. Sounds 1 and 2
// are 100 frames (ms) long, sound 3 is 10.
TEST_F(EngineTest, ASeekResumesTheSoundsThatRingThere) {
    struct Case {
        double runMs, to;
        const char* starts;
        const char* name;
    };
    const Case cases[] = {
        {0, 55, "1@0+55 2@0+25 3@0+5 3@35+0", "forward into every sound"},
        {120, 20, "1@0+20 2@10+0 3@30+0 3@70+0", "back to a moment passed"},
        {0, 95, "1@0+95 2@0+65 3@0+5", "a voice's later start cut its sound"},
        {0, -5, "1@0+0 2@30+0 3@50+0 3@90+0", "before the start is the start"},
    };
    media.sounds = {nullptr, makeSound(100), makeSound(100), makeSound(10)};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        events("000000,11,1 000003,21,2 000005,1,3 000009,11,3", 125);
        clock.now = 1000;
        engine.play();
        runFor(engine, clock, c.runMs);
        output.starts.clear();
        output.stopTimes.clear();
        const double seekAt = clock.now;
        engine.seekTo(c.to);
        EXPECT_EQ(output.stopTimes, std::vector<double>{seekAt});
        EXPECT_DOUBLE_EQ(engine.positionMs(), std::max(c.to, 0.0));
        runFor(engine, clock, 10000);
        EXPECT_EQ(output.startsFrom(seekAt), QString::fromLatin1(c.starts));
        engine.abandon();
    }
}

// A loop turns back at B, the sounds that ring at A resuming at B's reading; the events at B
// belong to the next round.
TEST_F(EngineTest, ALoopTurnsBackAtItsEnd) {
    struct Case {
        double aMs, bMs;
        const char* starts;
    };
    const Case cases[] = {
        {0, 40, "1@1000 2@1030 1@1040 2@1070 1@1080 2@1110"},
        {35, 60, "1@1000 2@1030 3@1050 1@1060 2@1060 3@1075 1@1085 2@1085 3@1100 1@1110 2@1110"},
        {-1, 40, "1@1000 2@1030 3@1050"},
    };
    media.sounds = {nullptr, makeSound(100), makeSound(100), makeSound(10)};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.starts);
        output.starts.clear();
        events("000000,11,1 000003,21,2 000005,1,3", 125);
        clock.now = 1000;
        engine.setLoop(c.aMs, c.bMs);
        engine.play();
        runFor(engine, clock, 120);
        EXPECT_EQ(starts(), QString::fromLatin1(c.starts));
        engine.abandon();
    }
    engine.clearLoop();
}

// How a run ends: by itself after its last sounds have rung out, stopped, or with the player
// hidden; a stop during the ring-out still completes, a Play during the run starts it over.
TEST_F(EngineTest, HowARunEnds) {
    struct Case {
        void (Playback::*act)();
        bool hide;
        double actAt;  // ms after Play
        Statuses statuses;
        int completions, closes;
        size_t starts;
    };
    const Case cases[] = {
        {nullptr, false, 0, {Playing, Completed}, 1, 0, 2},
        {&Playback::play, false, 100, {Playing, Playing, Completed}, 1, 0, 3},
        {&Playback::stop, false, 100, {Playing, Stopped}, 0, 0, 1},
        {nullptr, true, 100, {Playing, Stopped}, 0, 1, 1},
        {&Playback::stop, false, 2500, {Playing, Completed}, 1, 0, 2},  // during the ring-out
    };
    media.sounds = {nullptr, makeSound(3000), makeSound(100)};  // 1 rings 3 s from its start
    events("000000,11,1 000192,11,2", 120);                     // the second at 2 s
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        host = testing::RecordingHost();
        output.starts.clear();
        engine.play();
        runFor(engine, clock, c.actAt);
        if (c.act) {
            (engine.*c.act)();
        }
        host.visible = !c.hide;
        runFor(engine, clock, 2999 - c.actAt);
        const bool ringsOn = !c.hide && c.act != &Playback::stop;
        EXPECT_EQ(engine.running(), ringsOn);
        runFor(engine, clock, 10000);
        EXPECT_EQ(host.statuses, c.statuses);
        EXPECT_EQ(host.completions, c.completions);
        EXPECT_EQ(host.closes, c.closes);
        EXPECT_EQ(output.starts.size(), c.starts);
        // A run that completed by itself is not a stopped one.
        EXPECT_EQ(engine.playing(), ringsOn);
    }
}

// At 1 BPM a measure takes 240 s: an event two measures on is waited for, one three measures on
// ends the run, which then completes as usual.
TEST_F(EngineTest, ARunEndsWhenItsNextEventIsMoreThanTenMinutesAway) {
    struct Case {
        const char* events;
        Statuses statuses;
    };
    const Case cases[] = {
        {"000000,11,1 000384,11,1", {Playing}},
        {"000000,11,1 000576,11,1", {Playing, NothingForLong, Completed}},
    };
    media.sounds = {nullptr, makeSound(100)};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.events);
        host = testing::RecordingHost();
        events(c.events, 1);
        engine.play();
        runFor(engine, clock, 10000);
        EXPECT_EQ(host.statuses, c.statuses);
        engine.abandon();
    }
}

// Black is transparent in a layer; an unloaded layer turns black. Miss and Title overlays cover
// the base; a Miss choice found late with Wait Off is dropped; with pictures off the events are
// consumed and the picture frozen.
TEST_F(EngineTest, Pictures) {
    media.pictures = {nullptr, makePicture({256, 256}, 0xFF0000, 0xFF0000),
                      makePicture({256, 256}, 0x000000, 0x00FF00),
                      makePicture({256, 256}, 0x0000FF, 0x0000FF)};
    media.stage = makePicture({640, 480}, qRgb(9, 9, 9), qRgb(9, 9, 9));
    events(
        "000000,4,1 000000,6,3 000000,7,2 000096,7,9 000120,6,1 000192,4,1 000288,4,1 000384,4,1",
        120);
    engine.setPicturesShown(true);
    engine.play();
    runFor(engine, clock, 10);
    ASSERT_EQ(host.pictures.size(), 3u);  // the black start, then base, then base + layer
    EXPECT_EQ(shown(), 0xFF0000u);
    EXPECT_EQ(shown(0), 0x00FF00u);
    runFor(engine, clock, 1000);
    EXPECT_EQ(shown(0), 0xFF0000u);
    engine.setSkipLateEvents(true);
    clock.now += 500;  // tick 145: the choice at 120 is late
    engine.setOverlay(PlaybackEngine::Overlay::Miss);
    runFor(engine, clock, 1000);  // the base at 192 shows Miss picture 3, chosen at tick 0
    EXPECT_EQ(shown(), 0x0000FFu);
    engine.setOverlay(PlaybackEngine::Overlay::Title);
    runFor(engine, clock, 1000);
    EXPECT_EQ(shown(), 0x090909u);
    const size_t count = host.pictures.size();
    engine.setPicturesShown(false);
    runFor(engine, clock, 1000);
    EXPECT_EQ(host.pictures.size(), count);
    EXPECT_EQ(engine.nextEvent(), 9);
}

}  // namespace
}  // namespace carvel
