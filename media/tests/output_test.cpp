#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "media/frame_clock.h"
#include "media/worker_pool.h"
#include "platform/clock.h"

namespace carvel::media {
namespace {

TEST(FrameClock, ReadingsAndStartFrames) {
    const FrameClock clock(44100);
    EXPECT_EQ(clock.msAt(44100), 1000);
    EXPECT_EQ(clock.msAt(44099), 999);                     // whole milliseconds, rounded down
    EXPECT_EQ(clock.msAt(4294967296.0 * 44.1 + 441), 10);  // wrapped at 2^32 ms

    struct Case {
        double dueMs, nowFrames, latencyMs;
        std::int64_t frame;
    };
    const double wrap = 4294967296.0;
    const Case cases[] = {
        {1000, 0, 0, 44100},          // ahead
        {1000, 0, 35, 44100 + 1543},  // plus the latency, in whole frames
        {0.5 / 44.1, 0, 0, 1},        // half a frame rounds up
        {1000, 88200, 0, 88200},      // due in the past: at once
        {1000, 88200.5, 35, 88201},   // never before now
        {5, (wrap - 5) * 44.1, 0, static_cast<std::int64_t>((wrap + 5) * 44.1 + 0.5)},  // wrapped
        {wrap - 5, 5 * 44.1, 0, 221},  // long past: at once, the next whole frame
    };
    for (const Case& c : cases) {
        EXPECT_EQ(clock.startFrame(c.dueMs, c.nowFrames, c.latencyMs), c.frame)
            << c.dueMs << " at " << c.nowFrames;
    }
    // Between callbacks the frames run on with the time since, never past the block given.
    EXPECT_DOUBLE_EQ(clock.interpolate(1000, 0.001, 512), 1044.1);
    EXPECT_DOUBLE_EQ(clock.interpolate(1000, 1, 512), 1512);
    EXPECT_DOUBLE_EQ(clock.interpolate(1000, -0.5, 512), 1000);
}

TEST(WorkerPool, RunsEveryJobOnceOnTheThreadsAsked) {
    for (const int threads : {0, 1, 3, 8}) {
        std::vector<std::atomic<int>> runs(500);
        std::mutex mutex;
        std::set<std::thread::id> ids;
        parallelFor(
            runs.size(),
            [&](std::size_t i) {
                runs[i].fetch_add(1);
                const std::lock_guard<std::mutex> lock(mutex);
                ids.insert(std::this_thread::get_id());
            },
            threads);
        for (size_t i = 0; i < runs.size(); ++i) {
            ASSERT_EQ(runs[i].load(), 1) << i << " with " << threads << " threads";
        }
        EXPECT_LE(ids.size(), threads == 0 ? std::thread::hardware_concurrency()
                                           : static_cast<unsigned>(threads));
        EXPECT_TRUE(threads != 1 || ids.count(std::this_thread::get_id()) == 1);
    }
    parallelFor(0, [](std::size_t) { ADD_FAILURE() << "no job to run"; });
}

}  // namespace
}  // namespace carvel::media
