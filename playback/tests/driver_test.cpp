#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <deque>

#include "playback/playback_driver.h"
#include "testing/application.h"
#include "testing/fakes.h"

namespace carvel {
namespace {

// A playback that answers its passes from a script; a pass beyond the script is idle.
struct ScriptedPlayback {
    Step pass() {
        ++passes;
        if (onPass) {
            onPass(passes);
        }
        if (script.empty()) {
            return {};
        }
        const Step step = script.front();
        script.pop_front();
        return step;
    }
    std::deque<Step> script;
    int passes = 0;
    std::function<void(int)> onPass;
};

// Runs the event loop until done() or two seconds have passed.
bool waitFor(const std::function<bool()>& done) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 2000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    }
    return done();
}

TEST(PlaybackDriver, RunsDuePassesAtOnceSleepsUntilTheDueTimeAndStopsWhenIdle) {
    testing::ensureApplication();
    testing::FakeClock clock;
    ScriptedPlayback playback;
    PlaybackDriver driver([&] { return playback.pass(); }, clock);
    const Step again{Step::Kind::Again, 0};

    // Passes with work run back to back inside wake(); a wait already due runs on at once.
    playback.script = {again, again, {Step::Kind::WaitUntil, -5}, again};
    driver.wake();
    EXPECT_EQ(playback.passes, 5);  // the fifth found the script empty: idle

    // A wait in the future returns to the event loop and runs the next pass when it is due.
    playback.passes = 0;
    playback.script = {{Step::Kind::WaitUntil, 30}, again};
    driver.wake();
    EXPECT_EQ(playback.passes, 1);
    EXPECT_TRUE(waitFor([&] { return playback.passes >= 2; }));
    EXPECT_EQ(playback.passes, 3);

    // A wake during a pass asks for more passes instead of nesting.
    playback.passes = 0;
    int depth = 0;
    int deepest = 0;
    playback.onPass = [&](int pass) {
        ++depth;
        deepest = std::max(deepest, depth);
        if (pass == 1) {
            driver.wake();
        }
        --depth;
    };
    driver.wake();
    EXPECT_EQ(playback.passes, 2);
    EXPECT_EQ(deepest, 1);
    playback.onPass = nullptr;

    // Endless work is cut into batches, so the event loop keeps its turn.
    playback.passes = 0;
    playback.script.assign(1000, again);
    driver.wake();
    EXPECT_LT(playback.passes, 1000);
    EXPECT_TRUE(waitFor([&] { return playback.script.empty(); }));
}

}  // namespace
}  // namespace carvel
