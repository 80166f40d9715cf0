#include <gtest/gtest.h>

#include <cmath>

#include "player/picture_schedule.h"
#include "testing/application.h"
#include "testing/fakes.h"

namespace carvel {
namespace {

// Pictures named by their colour's red value, shown when the output clock reaches due + delay.
TEST(PictureScheduleTest, ShowsEachPictureWhenItsSoundIsHeard) {
    testing::ensureApplication();
    testing::FakeClock clock;
    QList<int> shown;
    PictureSchedule schedule([&](const QImage& p) { shown.append(qRed(p.pixel(0, 0))); });
    const auto picture = [](int red) {
        QImage image(1, 1, QImage::Format_RGB32);
        image.fill(qRgb(red, 0, 0));
        return image;
    };
    schedule.add(picture(1), 100);  // no clock yet: at once
    EXPECT_EQ(shown, QList<int>{1});

    schedule.setClock(&clock, 40);
    clock.now = 4294967290;  // the clock wraps between due time and showing
    struct Step {
        double now;
        QList<int> add;  // red values, due at `now`
        QList<int> shown;
    };
    const Step steps[] = {
        {4294967290, {2}, {1}}, {4294967293, {3}, {1}},  // within 5 ms of 2: replaces it
        {4294967300, {4}, {1}}, {33, {}, {1}},          {34, {}, {1, 3}},
        {43, {}, {1, 3}},       {44, {}, {1, 3, 4}},
    };
    for (const Step& s : steps) {
        clock.now = std::fmod(s.now, 4294967296.0);
        for (int red : s.add) {
            schedule.add(picture(red), clock.now);
        }
        schedule.showDue();  // what the timer does when it fires
        EXPECT_EQ(shown, s.shown) << "at " << s.now;
    }
}

}  // namespace
}  // namespace carvel
