#include <gtest/gtest.h>

#include "player/player_window.h"
#include "testing/application.h"
#include "testing/fakes.h"

namespace carvel {
namespace {

struct Application {
    Application() { testing::ensureApplication(); }
};

class ReachAndContrastTest : public ::testing::Test,
                             private Application,
                             protected testing::PlayerRig {
  protected:
    ReachAndContrastTest() : window(controller) { controller.setView(window); }
    PlayerWindow window;
};

// In every layout, each shown control below the transport buttons lies inside the window (its
// middle at least, so it can be clicked).
TEST_F(ReachAndContrastTest, EveryShownControlCanBeReached) {
    window.askCode = [] { return u"項目ﾒﾓﾘ"_qs; };
    struct Step {
        const char* what;
        std::function<void()> act;
    };
    const Step steps[] = {
        {"normal", [&] { window.chkCmpct->setChecked(false); }},
        {"details, narrow", [&] { window.Label1_DblClick(); }},
        {"details, wide", [&] { window.chkImage->setChecked(true); }},
        {"details closed, wide", [&] { window.cmdClose_Click(); }},
        {"details, narrow again",
         [&] {
             window.chkImage->setChecked(false);
             window.Label1_DblClick();
         }},
        {"details closed, narrow", [&] { window.cmdClose_Click(); }},
    };
    for (const Step& s : steps) {
        s.act();
        const bool details = !window.List2->isHidden();
        const bool wide = window.chkImage->isChecked();
        const std::pair<const QWidget*, bool> controls[] = {
            {window.lblWave, true},  {window.lblPlay, true},  {window.List1, true},
            {window.Picture1, wide}, {window.List2, details}, {window.cmdClose, details},
        };
        for (const auto& [control, shown] : controls) {
            if (shown) {
                EXPECT_TRUE(window.rect().contains(control->geometry().center()))
                    << s.what << ": " << control->objectName().toStdString();
            }
        }
    }
}

TEST_F(ReachAndContrastTest, TransportIconsTakeTheButtonTextColour) {
    for (const QColor& text : {QColor(Qt::white), QColor(20, 20, 20)}) {
        QPalette palette = window.palette();
        palette.setColor(QPalette::ButtonText, text);
        window.setPalette(palette);
        const QImage icon = window.cmdPlay->icon().pixmap(64).toImage();
        EXPECT_EQ(icon.pixelColor(32, 32).rgb(), text.rgb());
    }
}

}  // namespace
}  // namespace carvel
