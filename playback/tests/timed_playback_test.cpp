#include <gtest/gtest.h>

#include "testing/qt_printers.h"

#include <limits>

#include "playback/timed_playback_engine.h"
#include "testing/fakes.h"

namespace carvel {
namespace {

using Statuses = std::vector<PlayerStatus>;
constexpr PlayerStatus kPlaying = PlayerStatus::Playing;
constexpr PlayerStatus kStopped = PlayerStatus::Stopped;
constexpr PlayerStatus kCompleted = PlayerStatus::Completed;
constexpr double kStart = 5000;  // the clock reading at which each run starts

class TimedPlaybackTest : public ::testing::Test {
  protected:
    TimedPlaybackTest() : output(clock), engine(chart, media, output, clock, host) {
        chart.mode = ReadingMode::Full;
        media.sounds.resize(10);
        for (int i = 1; i <= 5; ++i) {
            media.sounds[static_cast<size_t>(i)] = testing::makeSound(10);
        }
    }
    // Each start as "voice@due", the due time counted from the start of the run.
    QStringList starts() const {
        QStringList list;
        for (const auto& s : output.starts) {
            list.append(QString::number(s.voice) + u'@' + QString::number(s.dueMs - kStart));
        }
        return list;
    }
    testing::FakeClock clock;
    testing::RecordingOutput output;
    testing::RecordingHost host;
    Chart chart;
    ChartMedia media;
    TimedPlaybackEngine engine;
};

TEST_F(TimedPlaybackTest, EventsFallDueAtTheirTimes) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // Passes for runMs, then the clock moves on by stallMs without a pass, then the command, then
    // passes until the run settles.
    struct Script {
        bool waitOff;
        double runMs, stallMs;
        void (Playback::*command)();
    };
    struct Case {
        const char* name;
        std::vector<TimedEvent> events;  // time, channel (base 36: "11" is 37), sound
        Script script;
        QStringList starts;
        Statuses statuses;
    };
    const Case cases[] = {
        {"every sound channel at its exact time; other channels and unloaded sounds play nothing",
         {{0, 1, 1},
          {12.5, 37, 2},
          {12.5, 45, 3},
          {100.25, 73, 4},
          {100.25, 181, 5},
          {200, 217, 1},
          {200, 225, 2},
          {250, 3, 3},
          {260, 46, 3},
          {300, 37, 9}},
         {false, 0, 0, nullptr},
         {u"1@0"_qs, u"2@12.5"_qs, u"3@12.5"_qs, u"4@100.25"_qs, u"5@100.25"_qs, u"1@200"_qs,
          u"2@200"_qs},
         {kPlaying, kCompleted}},
        {"FF plays what was due before it, then passes over a second",
         {{0, 37, 1}, {40, 37, 2}, {500, 37, 3}, {1200, 37, 4}, {2500, 37, 5}},
         {false, 10, 50, &Playback::fastForward},
         {u"1@0"_qs, u"2@40"_qs, u"4@200"_qs, u"5@1500"_qs},
         {kPlaying, kCompleted}},
        {"Rev plays the last second again",
         {{0, 37, 1}, {500, 37, 2}, {1500, 37, 3}},
         {false, 1200, 0, &Playback::rewind},
         {u"1@0"_qs, u"2@500"_qs, u"2@1500"_qs, u"3@2500"_qs},
         {kPlaying, kCompleted}},
        {"Rev within the first second starts over",
         {{0, 37, 1}, {500, 37, 2}},
         {false, 300, 0, &Playback::rewind},
         {u"1@0"_qs, u"1@300"_qs, u"2@800"_qs},
         {kPlaying, kCompleted}},
        {"Stop ends the run",
         {{0, 37, 1}, {1000, 37, 2}},
         {false, 100, 0, &Playback::stop},
         {u"1@0"_qs},
         {kPlaying, kStopped}},
        {"Wait On plays late events at their times",
         {{0, 37, 1}, {100, 37, 2}, {150, 37, 3}, {300, 37, 4}},
         {false, 10, 180, nullptr},
         {u"1@0"_qs, u"2@100"_qs, u"3@150"_qs, u"4@300"_qs},
         {kPlaying, kCompleted}},
        {"Wait Off drops events found more than 50 ms late",
         {{0, 37, 1}, {100, 37, 2}, {150, 37, 3}, {300, 37, 4}},
         {true, 10, 180, nullptr},
         {u"1@0"_qs, u"3@150"_qs, u"4@300"_qs},
         {kPlaying, kCompleted}},
        {"times that are no number are passed over, one far away is waited for",
         {{0, 37, 1}, {nan, 37, 2}, {1e15, 37, 3}},
         {false, 0, 0, nullptr},
         {u"1@0"_qs},
         {kPlaying}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        chart.timedEvents = c.events;
        output.starts.clear();
        host.statuses.clear();
        clock.now = kStart;
        engine.setSkipLateEvents(c.script.waitOff);
        engine.play();
        testing::runFor(engine, clock, c.script.runMs);
        clock.now += c.script.stallMs;
        if (c.script.command) {
            (engine.*c.script.command)();
        }
        testing::runFor(engine, clock, 10000);
        EXPECT_EQ(starts(), c.starts);
        EXPECT_EQ(host.statuses, c.statuses);
        engine.abandon();
    }
    chart.timedEvents.clear();
    engine.play();  // nothing to play: nothing happens
    EXPECT_FALSE(engine.running());
}

TEST_F(TimedPlaybackTest, PicturesAndTheMissChoiceFollowFastForwardAndRewind) {
    media.pictures = {nullptr, testing::makePicture({8, 8}, 0xFF0000, 0xFF0000),
                      testing::makePicture({8, 8}, 0x0000FF, 0x0000FF)};
    chart.timedEvents = {{0, 4, 1}, {1000, 4, 2}, {1000, 6, 1}, {5000, 37, 1}};
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
