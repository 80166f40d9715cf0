#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QTemporaryDir>

#include "../../chart/tests/test_files.h"
#include "../../playback/tests/fakes.h"
#include "platform/testing/qt_printers.h"
#include "player/player_window.h"
#include "player/twips.h"

namespace carvel {
namespace {

using testing::FakeClock;
using testing::RecordingOutput;

class PlayerWindowTest : public ::testing::Test, protected testing::PlayerRig {
  protected:
    PlayerWindowTest() : window(controller, playlist) {
        controller.setView(window);
        window.showPlaylistWindow = [this] { ++playlistShown; };
        window.openTextViewer = [this](const QString& path) {
            viewed.append(path);
            return true;
        };
    }
    QSize clientTwips(int width, int height) const {
        const double dpi = window.screen()->logicalDotsPerInch();
        return {twipsToPixels(width - kFrameWidthTwips, dpi),
                twipsToPixels(height - kFrameHeightTwips, dpi)};
    }

    PlayerWindow window;
    int playlistShown = 0;
    QStringList viewed;
};

TEST_F(PlayerWindowTest, StartsCompact) {
    EXPECT_EQ(window.size(), clientTwips(3675, 2460));
    EXPECT_TRUE(window.chkCmpct->isChecked());
    EXPECT_FALSE(window.chkImage->isEnabled());
    EXPECT_TRUE(window.List1->isHidden());
}

TEST_F(PlayerWindowTest, LayoutToggles) {
    struct Step {
        QCheckBox* PlayerWindow::*box;
        bool checked;
        int width, height;
        bool imageEnabled, listHidden;
    };
    const Step steps[] = {
        {&PlayerWindow::chkCmpct, false, 3675, 4470, true, false},
        {&PlayerWindow::chkImage, true, 7800, 4470, true, false},
        {&PlayerWindow::chkCmpct, true, 3675, 2460, false, true},
        {&PlayerWindow::chkCmpct, false, 3675, 4470, true, false},
    };
    for (const Step& s : steps) {
        (window.*(s.box))->setChecked(s.checked);
        EXPECT_EQ(window.size(), clientTwips(s.width, s.height));
        EXPECT_EQ(window.outerWidthTwips(), s.width);
        EXPECT_EQ(window.outerHeightTwips(), s.height);
        EXPECT_EQ(window.chkImage->isEnabled(), s.imageEnabled);
        EXPECT_EQ(window.List1->isHidden(), s.listHidden);
    }
    EXPECT_FALSE(window.chkImage->isChecked());
    EXPECT_FALSE(controller.engine().chkImage);
}

TEST_F(PlayerWindowTest, HiddenToolCodes) {
    struct Case {
        QString code;
        int height;
        bool listShown;
        int viewerCalls;
    };
    playlist.append({u"t"_qs, u"/charts/my song; rm -rf.bms"_qs});
    playlist.setCurrent(0);
    const Case cases[] = {
        {u""_qs, 2460, false, 0},           {u"項目ﾒﾓﾘ "_qs, 2460, false, 0},
        {u"項目メモリ"_qs, 2460, false, 0}, {u"ﾛｸﾞ出力"_qs, 2460, false, 1},
        {u"項目ﾒﾓﾘ"_qs, 6810, true, 1},
    };
    for (const Case& c : cases) {
        window.askCode = [&] { return c.code; };
        window.Label1_DblClick();
        EXPECT_EQ(window.outerHeightTwips(), c.height) << c.code.toStdString();
        EXPECT_EQ(!window.List2->isHidden(), c.listShown) << c.code.toStdString();
        EXPECT_EQ(viewed.size(), c.viewerCalls) << c.code.toStdString();
    }
    EXPECT_EQ(viewed.first(), u"/charts/my song; rm -rf.bms"_qs);
    window.cmdClose_Click();
    EXPECT_EQ(window.outerHeightTwips(), 4215);
    EXPECT_TRUE(window.List2->isHidden());

    playlist.setCurrent(-1);
    window.askCode = [] { return u"ﾛｸﾞ出力"_qs; };
    window.Label1_DblClick();
    EXPECT_EQ(viewed.size(), 1);  // no current entry: nothing happens
}

TEST_F(PlayerWindowTest, DetailListShowsTheEvents) {
    controller.FileLoad(chartFile(u"a.bms"_qs, "#00111:0102\n#00211:03\n"));
    window.askCode = [] { return u"項目ﾒﾓﾘ"_qs; };
    window.Label1_DblClick();
    ASSERT_EQ(window.List2->model()->rowCount(), 3);
    EXPECT_EQ(window.List2->model()->index(2, 0).data().toString(), u"000384,11,3"_qs);
}

TEST_F(PlayerWindowTest, CloseHidesUnlessExiting) {
    window.show();
    controller.FileLoad(chartFile(u"a.bms"_qs, "#00111:01\n"));
    EXPECT_TRUE(controller.engine().blnPlaying);
    EXPECT_FALSE(window.close());
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(controller.engine().blnPlaying);
    EXPECT_EQ(playlistShown, 1);
    window.show();
    window.blnExiting = true;
    EXPECT_TRUE(window.close());
    EXPECT_EQ(playlistShown, 1);
}

TEST_F(PlayerWindowTest, DropsAppendTheFirstFileAndPlayWhenIdle) {
    const QString a = chartFile(u"a.bms"_qs, "#TITLE A\n#00111:01\n");
    const QString b = chartFile(u"b.bms"_qs, "#00111:01\n");
    const QString c = chartFile(u"c.txt"_qs, "no chart here\n");
    window.dropFiles({a, b, c});
    ASSERT_EQ(playlist.count(), 1);
    EXPECT_EQ(playlist.at(0).title, u"A"_qs);
    EXPECT_EQ(playlist.current(), 0);
    EXPECT_EQ(chart.strTitle, u"A"_qs);
    EXPECT_TRUE(controller.engine().blnPlaying);

    window.dropFiles({b});  // while playing: only queued
    ASSERT_EQ(playlist.count(), 2);
    EXPECT_EQ(playlist.at(1).title, u"無題"_qs);
    EXPECT_EQ(playlist.current(), 0);
    EXPECT_EQ(chart.strTitle, u"A"_qs);

    controller.cmdStop_Click();
    testing::runFor(controller.engine(), clock, 10);
    window.dropFiles({c});
    EXPECT_EQ(playlist.current(), 2);
    EXPECT_EQ(window.List1->item(0)->text(), u"ｵﾌﾞｼﾞｪｸﾄがありません。"_qs);
    window.dropFiles({});
    EXPECT_EQ(playlist.count(), 3);
}

TEST_F(PlayerWindowTest, PictureTogglesAndTips) {
    window.TitleBGA_Click();
    EXPECT_TRUE(chart.blnTitleBGA);
    window.MissBGA_Click();
    EXPECT_FALSE(chart.blnTitleBGA);
    EXPECT_TRUE(chart.blnMissBGA);
    window.MissBGA_Click();
    EXPECT_FALSE(chart.blnMissBGA);
    window.WaitBGA_Click();
    EXPECT_EQ(window.Picture1->toolTip(), u"Wait : Off"_qs);
    EXPECT_EQ(controller.engine().lngBltFlags, PlaybackEngine::kWaitOff);
    window.WaitBGA_Click();
    EXPECT_EQ(window.Picture1->toolTip(), u"Wait : On"_qs);
    EXPECT_EQ(controller.engine().lngBltFlags, PlaybackEngine::kWaitOn);

    window.messagesChanged({u"first message"_qs, u"second"_qs});
    window.List1->setCurrentRow(1);
    EXPECT_EQ(window.List1->toolTip(), u"second"_qs);
    window.Frame1_Click();
    EXPECT_TRUE(window.Frame1->isHidden());
    window.Label1_Click();
    EXPECT_FALSE(window.Frame1->isHidden());
}

TEST_F(PlayerWindowTest, PreviewLabelsFollowTheMouse) {
    chart.growWav(1);
    chart.dsbWav[1] = testing::makeSound(5);
    chart.blnWav[1] = true;
    auto send = [&](QWidget* w, QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons held) {
        QMouseEvent event(type, QPointF(2, 2), w->mapToGlobal(QPointF(2, 2)), button, held,
                          Qt::NoModifier);
        QApplication::sendEvent(w, &event);
    };
    send(window.lblWave, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(window.lblWave->text(), u"0"_qs);
    EXPECT_EQ(window.lblPlay->text(), u"■"_qs);
    send(window.lblWave, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(window.lblWave->text(), u"1"_qs);
    send(window.lblPlay, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton);
    ASSERT_EQ(output.starts.size(), 1u);
    EXPECT_EQ(output.starts[0].voice, 1);
}

}  // namespace
}  // namespace carvel

#include "qapplication_main.h"
