#include <gtest/gtest.h>

#include "testing/qt_printers.h"

#include "playback/timed_playback_engine.h"
#include "testing/fakes.h"

namespace carvel {
namespace {

using Statuses = std::vector<PlayerStatus>;
using enum PlayerStatus;
constexpr double kStart = 5000;  // the clock reading at which each run starts

class TimedPlaybackTest : public ::testing::Test {
  protected:
    TimedPlaybackTest() : output(clock), engine(chart, media, output, clock, host) {
        chart.setMode(ReadingMode::Full);
        const media::SoundPtr sound = testing::makeSound(10);
        media.sounds = {nullptr, sound, sound, sound, sound, sound};
    }
    // Each start as "voice@due", the due time counted from the start of the run.
    QString starts() const {
        QStringList list;
        for (const auto& s : output.starts) {
            list.append(QString::number(s.voice) + u'@' + QString::number(s.dueMs - kStart));
        }
        return list.join(u' ');
    }
    testing::FakeClock clock;
    testing::RecordingOutput output;
    testing::RecordingHost host;
    Chart chart;
    ChartMedia media;
    TimedPlaybackEngine engine;
};

// Events as "time:channel:sound" separated by blanks, the channel in base 36 as a chart writes it.
std::vector<TimedEvent> timedEvents(const char* text) {
    std::vector<TimedEvent> events;
    for (const QString& event : QString::fromLatin1(text).split(u' ')) {
        const QStringList f = event.split(u':');
        events.push_back(
            {f[0].toDouble(), static_cast<std::uint16_t>(f[1].toInt(nullptr, 36)), f[2].toInt()});
    }
    return events;
}

// Each run passes for runMs, then the clock moves on by stallMs without a pass, then the command,
// then passes until the run settles.
TEST_F(TimedPlaybackTest, EventsFallDueAtTheirTimes) {
    struct Case {
        bool waitOff;
        double runMs, stallMs;
        void (Playback::*command)();
        const char* events;
        const char* starts;
        Statuses statuses;
        const char* name;
    };
    const Statuses done = {Playing, Completed};
    const Statuses stopped = {Playing, Stopped};
    const Statuses running = {Playing};
    const Statuses far = {Playing, NothingForLong, Completed};
    const Case cases[] = {
        {false, 0, 0, nullptr,
         "0:01:1 12.5:11:2 12.5:19:3 100.25:21:4 100.25:51:5 200:61:1 200:69:2 250:03:3 260:1A:3 "
         "300:11:9",
         "1@0 2@12.5 3@12.5 4@100.25 5@100.25 1@200 2@200", done,
         "every sound channel at its exact time; other channels and unloaded sounds play nothing"},
        {false, 10, 50, &Playback::fastForward, "0:11:1 40:11:2 500:11:3 1200:11:4 2500:11:5",
         "1@0 2@40 4@200 5@1500", done, "FF plays what was due before it, then passes a second"},
        {false, 1200, 0, &Playback::rewind, "0:11:1 500:11:2 1500:11:3", "1@0 2@500 2@1500 3@2500",
         done, "Rev plays the last second again"},
        {false, 300, 0, &Playback::rewind, "0:11:1 500:11:2", "1@0 1@300 2@800", done,
         "Rev within the first second starts over"},
        {false, 100, 0, &Playback::stop, "0:11:1 1000:11:2", "1@0", stopped, "Stop ends the run"},
        {false, 10, 180, nullptr, "0:11:1 100:11:2 150:11:3 300:11:4", "1@0 2@100 3@150 4@300",
         done, "Wait On plays late events at their times"},
        {true, 10, 180, nullptr, "0:11:1 100:11:2 150:11:3 300:11:4", "1@0 3@150 4@300", done,
         "Wait Off drops events found more than 50 ms late"},
        {false, 0, 0, nullptr, "0:11:1 nan:11:2 599000:11:3", "1@0", running,
         "times that are no number are passed over; one less than 10 minutes away is waited for"},
        {false, 0, 0, nullptr, "0:11:1 600001:11:2 1e15:11:3", "1@0", far,
         "one more than 10 minutes away ends the run, which completes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        chart.timeline().events = timedEvents(c.events);
        output.starts.clear();
        host.statuses.clear();
        clock.now = kStart;
        engine.setSkipLateEvents(c.waitOff);
        engine.play();
        testing::runFor(engine, clock, c.runMs);
        clock.now += c.stallMs;
        if (c.command) {
            (engine.*c.command)();
        }
        testing::runFor(engine, clock, 10000);
        EXPECT_EQ(starts(), QString::fromLatin1(c.starts));
        EXPECT_EQ(host.statuses, c.statuses);
        engine.abandon();
    }
    chart.timeline().events.clear();
    engine.play();  // nothing to play: nothing happens
    EXPECT_FALSE(engine.running());
}

// Each run passes for runMs, then seeks to chart time `to`; the starts from the seek on are listed
// as "voice@due+offset", due counted from the seek. Sounds are 10 frames (ms) long.
TEST_F(TimedPlaybackTest, ASeekResumesTheSoundsThatRingThere) {
    struct Case {
        double runMs, to;
        Playback::Mute mute;
        const char* events;
        const char* starts;
        const char* name;
    };
    const char* chartText = "0:11:1 5:11:2 8:01:3 12:11:4 30:11:5";
    const Case cases[] = {
        {0,
         12,
         {},
         chartText,
         "2@0+7 3@0+4 4@0+0 5@18+0",
         "the sounds still ringing resume where they are; one at the position starts with them"},
        {0, 10, {}, chartText, "2@0+5 3@0+2 4@2+0 5@20+0", "a sound that has just ended stays off"},
        {25, 6, {}, chartText, "1@0+6 2@0+1 3@2+0 4@6+0 5@24+0", "back to a moment passed"},
        {0, 12, {true, false}, chartText, "3@0+4", "key sounds muted"},
        {0, 12, {false, true}, chartText, "2@0+7 4@0+0 5@18+0", "background sounds muted"},
        {0, 8, {}, "0:11:1 6:11:1 9:11:2", "1@0+2 2@1+0", "a voice's later start cut its sound"},
        {0, 1e300, {}, "0:11:1 9:11:2", "", "a position past the end ends the run"},
        {0, -50, {}, "0:11:1 9:11:2", "1@0+0 2@9+0", "a position before the start is the start"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        chart.timeline().events = timedEvents(c.events);
        clock.now = kStart;
        engine.setMute(c.mute);
        engine.play();
        testing::runFor(engine, clock, c.runMs);
        output.starts.clear();
        output.stopTimes.clear();
        const double seekAt = clock.now;
        engine.seekTo(c.to);
        EXPECT_EQ(output.stopTimes, std::vector<double>{seekAt});
        if (c.to >= 0 && c.to < 1e6) {
            EXPECT_DOUBLE_EQ(engine.positionMs(), c.to);
        }
        testing::runFor(engine, clock, 10000);
        EXPECT_EQ(output.startsFrom(seekAt), QString::fromLatin1(c.starts));
        engine.abandon();
    }
    engine.setMute({});
}

// A loop turns back at B for as long as the run goes on; a loop that is no loop is cleared.
TEST_F(TimedPlaybackTest, ALoopTurnsBackAtItsEnd) {
    struct Case {
        double aMs, bMs;
        const char* starts;
    };
    const char* once = "1@0 2@15 3@30";
    const Case cases[] = {
        {0, 20, "1@0 2@15 1@20 2@35 1@40"},
        {10, 32, "1@0 2@15 3@30 2@37"},
        {-1, 20, once},
        {5, 14.9, once},
        {std::nan(""), 20, once},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.starts);
        chart.timeline().events = timedEvents("0:11:1 15:11:2 30:11:3");
        output.starts.clear();
        clock.now = kStart;
        engine.setLoop(c.aMs, c.bMs);
        engine.play();
        testing::runFor(engine, clock, 50);
        EXPECT_EQ(starts(), QString::fromLatin1(c.starts));
        engine.abandon();
    }
    engine.clearLoop();
}

// A bmson note that continues its channel's sound leaves the voice playing.
TEST_F(TimedPlaybackTest, ANoteThatContinuesStartsNothing) {
    chart.timeline().events = {{0, 37, 1}, {5, 37, 1, true}, {8, 37, 2}};
    clock.now = kStart;
    engine.play();
    testing::runFor(engine, clock, 100);
    EXPECT_EQ(starts(), u"1@0 2@8"_qs);
}

TEST_F(TimedPlaybackTest, PicturesAndTheMissChoiceFollowFastForwardAndRewind) {
    media.pictures = {nullptr, testing::makePicture({8, 8}, 0xFF0000, 0xFF0000),
                      testing::makePicture({8, 8}, 0x0000FF, 0x0000FF)};
    chart.timeline().events = {{0, 4, 1}, {1000, 4, 2}, {1000, 6, 1}, {5000, 37, 1}};
    engine.setPicturesShown(true);
    clock.now = kStart;
    engine.play();
    const auto shown = [this] { return host.pictures.back().pixel(4, 4) & 0xFFFFFF; };
    testing::runFor(engine, clock, 1500);
    EXPECT_EQ(shown(), 0x0000FFu);
    engine.rewind();  // at 500 ms: the base of 0 ms again
    EXPECT_EQ(shown(), 0xFF0000u);
    engine.setOverlay(Playback::Overlay::Miss);
    engine.fastForward();  // at 1500 ms: Miss picture 1 was chosen at 1000 ms
    EXPECT_EQ(shown(), 0xFF0000u);
}

}  // namespace
}  // namespace carvel
