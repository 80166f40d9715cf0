#include <gtest/gtest.h>

#include "testing/qt_printers.h"

#include "platform/clock.h"

namespace carvel {
namespace {

TEST(Clock, ElapsedSurvivesWrap) {
    struct Case {
        double later, earlier, elapsed;
    };
    const Case cases[] = {
        {1000, 400, 600},          {400, 1000, -600},
        {100, 4294967196.0, 200},  // wrapped between the readings
        {4294967196.0, 100, -200}, {12.5, 4294967295.0, 13.5},
    };
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(elapsedMs(c.later, c.earlier), c.elapsed);
    }
    EXPECT_DOUBLE_EQ(wrapClock(-1), 4294967295.0);
    EXPECT_DOUBLE_EQ(wrapClock(4294967296.0 + 5), 5);
}

}  // namespace
}  // namespace carvel
