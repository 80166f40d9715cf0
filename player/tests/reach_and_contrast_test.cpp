#include <gtest/gtest.h>

#include <functional>

#include "player/player_window.h"
#include "testing/application.h"
#include "testing/fakes.h"

namespace carvel {
namespace {

// In every layout each shown control below the transport buttons can be clicked: its middle lies
// inside the window.
TEST(ReachAndContrastTest, EveryShownControlCanBeReached) {
    testing::ensureApplication();
    testing::PlayerRig rig;
    PlayerWindow w(rig.controller);
    w.askCode = [] { return u"項目ﾒﾓﾘ"_qs; };
    const std::function<void()> steps[] = {
        [&] { w.chkCmpct->setChecked(false); },  // normal
        [&] { w.Label1_DblClick(); },            // details, narrow
        [&] { w.chkImage->setChecked(true); },   // details, wide
        [&] { w.cmdClose_Click(); },             // details closed, wide
        [&] { w.chkImage->setChecked(false), w.Label1_DblClick(); },
        [&] { w.cmdClose_Click(); },  // details closed, narrow
    };
    for (size_t i = 0; i < std::size(steps); ++i) {
        steps[i]();
        const bool details = !w.List2->isHidden();
        const std::pair<const QWidget*, bool> controls[] = {
            {w.lblWave, true},  {w.lblPlay, true},     {w.List1, true},
            {w.List2, details}, {w.cmdClose, details}, {w.Picture1, w.chkImage->isChecked()},
        };
        for (const auto& [control, shown] : controls) {
            EXPECT_TRUE(!shown || w.rect().contains(control->geometry().center()))
                << "step " << i << ": " << control->metaObject()->className();
        }
    }
}

TEST(ReachAndContrastTest, TransportIconsTakeTheButtonTextColour) {
    testing::ensureApplication();
    testing::PlayerRig rig;
    PlayerWindow w(rig.controller);
    for (const QColor& text : {QColor(Qt::white), QColor(20, 20, 20)}) {
        QPalette palette = w.palette();
        palette.setColor(QPalette::ButtonText, text);
        w.setPalette(palette);
        EXPECT_EQ(w.cmdPlay->icon().pixmap(64).toImage().pixelColor(32, 32).rgb(), text.rgb());
    }
}

}  // namespace
}  // namespace carvel
