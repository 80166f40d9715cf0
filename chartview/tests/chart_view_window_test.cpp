#include <gtest/gtest.h>

#include "testing/qt_printers.h"

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <cmath>
#include <limits>

#include "chartview/chart_view_window.h"
#include "testing/application.h"
#include "testing/fakes.h"

namespace carvel {
namespace {

struct Application {
    Application() { testing::ensureApplication(); }
};

// A full-reading chart at 120 BPM (2000 ms a measure) with a note at each of measures 0-4: 8000 ms
// long.
class ChartViewTest : public ::testing::Test, private Application, protected testing::PlayerRig {
  protected:
    ChartViewTest() : window(controller, {}) {
        controller.setLoadsInBackground(false);
        controller.setReadOptions({ReadingMode::Full, 1});
        controller.open(chartFile(u"five.bms"_qs,
                                  "#BPM 120\n#00011:01\n#00111:01\n#00211:01\n#00311:01\n"
                                  "#00411:01\n"));
        window.resize(1000, 700);
        window.show();
        window.refresh();
    }
    void key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QKeyEvent press(QEvent::KeyPress, key, modifiers);
        QApplication::sendEvent(&window, &press);
    }
    static void click(QWidget* widget, QPointF at) {
        QMouseEvent press(QEvent::MouseButtonPress, at, widget->mapToGlobal(at), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(widget, &press);
    }

    ChartViewWindow window;
};

TEST_F(ChartViewTest, FollowsTheChartAndThePosition) {
    ASSERT_TRUE(controller.running());
    EXPECT_EQ(window.windowTitle(), u"譜面"_qs);
    EXPECT_EQ(window.chartLayout().durationMs, 8000);
    EXPECT_EQ(window.chartLayout().lanes[2].notesMs,
              (std::vector<double>{0, 2000, 4000, 6000, 8000}));
    clock.now += 4500;
    window.refresh();
    // The lanes are drawn for half a frame on, the middle of the time the frame is seen.
    EXPECT_EQ(window.lanes->positionMs(), 4500 + ChartViewWindow::kFrameMs / 2.0);
    EXPECT_EQ(window.positionLabel->text(), u"0:04 / 0:08  小節 002"_qs);

    // Another chart: the layout is rebuilt for it.
    controller.open(chartFile(u"seven.bms"_qs, "#BPM 120\n#00019:01\n"));
    window.refresh();
    EXPECT_EQ(window.chartLayout().keys, 7);
}

TEST_F(ChartViewTest, ClicksSeek) {
    PositionBar* bar = window.positionBar;
    const double x = (bar->width() - 1) / 2.0;
    click(bar, QPointF(x, bar->height() / 2.0));
    const double expected = 8000.0 * static_cast<int>(x) / (bar->width() - 1);
    EXPECT_DOUBLE_EQ(controller.positionMs(), expected);
    EXPECT_NEAR(controller.positionMs(), 4000, 8000.0 / (bar->width() - 1));

    // The line of measure 3 in the lanes.
    window.spanBox->setValue(5000);
    window.refresh();
    const double y = window.lanes->yOf(6000);
    ASSERT_GT(y, 0);
    click(window.lanes, QPointF(window.lanes->width() / 2.0, y + 2));
    EXPECT_DOUBLE_EQ(controller.positionMs(), 6000);
    // Between lines nothing happens.
    click(window.lanes, QPointF(window.lanes->width() / 2.0, window.lanes->yOf(6500)));
    EXPECT_DOUBLE_EQ(controller.positionMs(), 6000);
}

TEST_F(ChartViewTest, LoopPointsSnapToMeasureLinesUnlessShiftIsHeld) {
    using Range = LoopMarks::Range;
    const auto loop = [&]() -> std::optional<Range> {
        const auto l = controller.loop();
        return l ? std::optional<Range>(Range{l->aMs, l->bMs}) : std::nullopt;
    };
    clock.now += 2300;
    key(Qt::Key_BracketLeft);  // A at 2300: the line at 2000
    EXPECT_EQ(loop(), std::nullopt);
    clock.now += 1500;
    window.markB(true);  // as the button does with Shift held: B at 3800 itself
    EXPECT_EQ(loop(), (Range{2000, 3800}));

    // Marking again clears the loop and starts a new pair.
    clock.now += 1000;  // 4800: the line at 4000
    window.markBButton->click();
    EXPECT_EQ(loop(), std::nullopt);
    key(Qt::Key_BraceLeft);  // Shift+[ on most layouts: A at 4800 itself
    EXPECT_EQ(loop(), (Range{4000, 4800}));
    window.clearLoopButton->click();
    EXPECT_EQ(loop(), std::nullopt);

    clock.now += 100;
    key(Qt::Key_BracketRight, Qt::ShiftModifier);  // B at 4900 itself
    window.markA(false);
    EXPECT_EQ(loop(), (Range{4000, 4900}));
}

TEST_F(ChartViewTest, SpeedKeysButtonsAndPitch) {
    struct Step {
        std::function<void()> act;
        double speed;
        QString label;
    };
    const Step steps[] = {
        {[&] { key(Qt::Key_Plus); }, 1.05, u"1.05×"_qs},
        {[&] { key(Qt::Key_Equal); }, 1.10, u"1.10×"_qs},
        {[&] { key(Qt::Key_Minus); }, 1.05, u"1.05×"_qs},
        {[&] { window.slowerButton->click(); }, 1.00, u"1.00×"_qs},
        {[&] { window.changeSpeed(-40); }, 0.50, u"0.50×"_qs},
        {[&] { window.changeSpeed(100); }, 2.00, u"2.00×"_qs},
        {[&] { window.normalSpeedButton->click(); }, 1.00, u"1.00×"_qs},
    };
    for (const Step& s : steps) {
        s.act();
        EXPECT_NEAR(controller.speed().speed, s.speed, 1e-9) << s.label.toStdString();
        EXPECT_EQ(window.speedLabel->text(), s.label);
    }
    EXPECT_FALSE(controller.speed().keepPitch);
    window.keepPitchBox->click();
    EXPECT_TRUE(controller.speed().keepPitch);
    EXPECT_EQ(output.speed(), controller.speed());
}

TEST_F(ChartViewTest, LaneMixer) {
    const auto& strips = window.mixer->strips();
    ASSERT_EQ(strips[0].lane, media::Lane::Background);
    ASSERT_EQ(strips[2].lane, media::Lane::Keys2P);
    strips[0].gain->setValue(kLowestGainStep);
    EXPECT_EQ(controller.laneGainDb(media::Lane::Background),
              -std::numeric_limits<double>::infinity());
    EXPECT_EQ(output.gains[0], 0);
    EXPECT_EQ(strips[0].value->text(), u"-∞ dB"_qs);
    strips[2].gain->setValue(6);
    EXPECT_EQ(controller.laneGainDb(media::Lane::Keys2P), 6);
    EXPECT_NEAR(output.gains[2], std::pow(10.0, 6 / 20.0), 1e-5);
    strips[1].mute->click();
    EXPECT_TRUE(controller.laneMuted(media::Lane::Keys1P));
    EXPECT_EQ(output.gains[1], 0);
}

TEST_F(ChartViewTest, RepaintsOnlyWhileARunMoves) {
    EXPECT_TRUE(window.framesRunning());
    controller.stop();
    for (int i = 0; i < 10 && controller.running(); ++i) {
        controller.pass();
    }
    ASSERT_FALSE(controller.running());
    window.refresh();
    EXPECT_FALSE(window.framesRunning());
    QApplication::processEvents();
    const int paints = window.lanes->paintCount();
    for (int i = 0; i < 5; ++i) {
        window.refresh();
        QApplication::processEvents();
    }
    EXPECT_EQ(window.lanes->paintCount(), paints);
}

TEST(ChartViewSettings, SizeAndSpanAreRemembered) {
    testing::ensureApplication();
    testing::PlayerRig rig;
    const QString file = rig.dir.filePath(u"carvel.conf"_qs);
    {
        ChartViewWindow window(rig.controller, file);
        window.show();
        window.resize(1111, 777);
        window.spanBox->setValue(3500);
        window.hide();
    }
    ChartViewWindow again(rig.controller, file);
    EXPECT_EQ(again.size(), QSize(1111, 777));
    EXPECT_EQ(again.spanBox->value(), 3500);
    EXPECT_EQ(again.lanes->visibleSpanMs(), 3500);

    ChartViewWindow nowhere(rig.controller, {});
    nowhere.show();
    nowhere.hide();
    EXPECT_EQ(QDir(rig.dir.path()).entryList(QDir::Files), QStringList{u"carvel.conf"_qs});
}

}  // namespace
}  // namespace carvel
