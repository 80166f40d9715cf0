#include "app/tests/program_rig.h"

#include <QApplication>
#include <QKeyEvent>

namespace carvel {
namespace {

using testing::ProgramRig;

// Whichever way the player asks for it, the program shows one chart view, built on the player's
// controller the first time.
TEST(ChartViewEntry, EachWayShowsTheOneChartView) {
    ProgramRig rig;
    EXPECT_EQ(rig.program.chartView(), nullptr);
    const std::function<void()> ways[] = {
        [&] { rig.player.chartViewAction->trigger(); },
        [&] {
            rig.player.askCode = [] { return u"譜面"_qs; };
            rig.player.Label1_DblClick();
        },
        [&] {
            rig.player.show();
            rig.player.activateWindow();
            for (int i = 0; i < 200 && QApplication::activeWindow() != &rig.player; ++i) {
                QApplication::processEvents(QEventLoop::AllEvents, 10);
            }
            ASSERT_EQ(QApplication::activeWindow(), &rig.player);
            QKeyEvent press(QEvent::KeyPress, Qt::Key_T, Qt::ControlModifier);
            QApplication::sendEvent(&rig.player, &press);
        },
    };
    ChartViewWindow* first = nullptr;
    for (const auto& way : ways) {
        if (first != nullptr) {
            first->hide();
        }
        way();
        ChartViewWindow* view = rig.program.chartView();
        ASSERT_NE(view, nullptr);
        EXPECT_TRUE(view->isVisible());
        EXPECT_EQ(view->windowTitle(), u"譜面"_qs);
        first = first == nullptr ? view : first;
        EXPECT_EQ(view, first);
    }
    rig.program.exit();
    EXPECT_FALSE(first->isVisible());
}

}  // namespace
}  // namespace carvel
