#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <deque>

#include "playback/playback_driver.h"
#include "testing/application.h"
#include "testing/fakes.h"

namespace carvel {
namespace {

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
    // The playback answers its passes from the script; a pass beyond it is idle.
    std::deque<Step> script;
    int passes = 0;
    std::function<void()> onPass = [] {};
    PlaybackDriver driver(
        [&] {
            ++passes;
            onPass();
            const Step step = script.empty() ? Step{} : script.front();
            if (!script.empty()) {
                script.pop_front();
            }
            return step;
        },
        clock);
    const Step again{Step::Kind::Again, 0};

    // Passes with work run back to back inside wake(); a wait already due runs on at once.
    script = {again, again, {Step::Kind::WaitUntil, -5}, again};
    driver.wake();
    EXPECT_EQ(passes, 5);  // the fifth found the script empty: idle

    // A wait in the future returns to the event loop and runs the next pass when it is due.
    passes = 0;
    script = {{Step::Kind::WaitUntil, 30}, again};
    driver.wake();
    EXPECT_EQ(passes, 1);
    EXPECT_TRUE(waitFor([&] { return passes >= 2; }));
    EXPECT_EQ(passes, 3);

    // A wake during a pass asks for more passes instead of nesting.
    passes = 0;
    int depth = 0;
    onPass = [&] {
        EXPECT_EQ(++depth, 1);
        if (passes == 1) {
            driver.wake();
        }
        --depth;
    };
    driver.wake();
    EXPECT_EQ(passes, 2);
    onPass = [] {};

    // Endless work is cut into batches, so the event loop keeps its turn.
    passes = 0;
    script.assign(1000, again);
    driver.wake();
    EXPECT_LT(passes, 1000);
    EXPECT_TRUE(waitFor([&] { return script.empty(); }));
}

}  // namespace
}  // namespace carvel
