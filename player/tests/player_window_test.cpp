#include <gtest/gtest.h>

#include "testing/qt_printers.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>

#include "chart/chart_reader.h"
#include "platform/twips.h"
#include "player/player_window.h"
#include "testing/application.h"
#include "testing/fakes.h"
#include "testing/test_files.h"

namespace carvel {
namespace {

struct Application {
    Application() { testing::ensureApplication(); }
};

class PlayerWindowTest : public ::testing::Test, private Application, protected testing::PlayerRig {
  protected:
    PlayerWindowTest() : window(controller) {
        controller.setView(window);
        window.onClosed = [this] { ++playlistShown; };
        window.onChartDropped = [this](const QString& path) { dropped.append(path); };
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
    QStringList dropped;
};

TEST_F(PlayerWindowTest, LayoutToggles) {
    EXPECT_EQ(window.size(), clientTwips(3675, 2460));
    EXPECT_TRUE(window.chkCmpct->isChecked());
    EXPECT_FALSE(window.chkImage->isEnabled());
    EXPECT_TRUE(window.List1->isHidden());
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
}

TEST_F(PlayerWindowTest, HiddenToolCodes) {
    window.askCode = [] { return u"ﾛｸﾞ出力"_qs; };
    window.Label1_DblClick();
    EXPECT_TRUE(viewed.isEmpty());  // no chart opened yet: nothing happens
    controller.open(chartFile(u"my song; rm -rf.bms"_qs, "#00111:0102\n#00211:03\n"));
    ASSERT_TRUE(controller.waitForLoad(testing::kLoadWaitMs));
    struct Case {
        QString code;
        int height;
        bool listShown;
        int viewerCalls;
    };
    const Case cases[] = {
        {u""_qs, 2460, false, 0},           {u"項目ﾒﾓﾘ "_qs, 2460, false, 0},
        {u"項目メモリ"_qs, 2460, false, 0}, {u"ﾛｸﾞ出力"_qs, 2460, false, 1},
        {u"項目ﾒﾓﾘ"_qs, 7065, true, 1},
    };
    for (const Case& c : cases) {
        window.askCode = [&] { return c.code; };
        window.Label1_DblClick();
        EXPECT_EQ(window.outerHeightTwips(), c.height) << c.code.toStdString();
        EXPECT_EQ(!window.List2->isHidden(), c.listShown) << c.code.toStdString();
        EXPECT_EQ(viewed.size(), c.viewerCalls) << c.code.toStdString();
    }
    EXPECT_EQ(viewed.first(), dir.path() + u"/my song; rm -rf.bms"_qs);
    ASSERT_EQ(window.List2->model()->rowCount(), 3);
    EXPECT_EQ(window.List2->model()->index(2, 0).data().toString(), u"000384,11,3"_qs);
    // The full reading lists its own events, by time.
    ReadOptions full;
    full.mode = ReadingMode::Full;
    controller.setReadOptions(full);
    controller.open(chartFile(u"full.bms"_qs, "#BPM 120\n#00111:0102\n#00211:03\n"));
    ASSERT_TRUE(controller.waitForLoad(testing::kLoadWaitMs));
    ASSERT_EQ(window.List2->model()->rowCount(), 3);
    EXPECT_EQ(window.List2->model()->index(2, 0).data().toString(), u"4000.000,11,3"_qs);
    controller.setReadOptions({});
    // Closing the list goes back to the layout it was opened from, at its designed size.
    ASSERT_TRUE(window.chkCmpct->isChecked());
    window.cmdClose_Click();
    EXPECT_EQ(window.outerHeightTwips(), 2460);
    EXPECT_TRUE(window.List2->isHidden());
    window.chkCmpct->setChecked(false);
    window.askCode = [] { return u"項目ﾒﾓﾘ"_qs; };
    window.Label1_DblClick();
    window.cmdClose_Click();
    EXPECT_EQ(window.outerHeightTwips(), 4470);
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
}

// Shows the window and waits (bounded) for it to become the active window, which a shortcut of
// the window needs.
bool activate(QWidget& window) {
    window.show();
    window.activateWindow();
    for (int i = 0; i < 200 && QApplication::activeWindow() != &window; ++i) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return QApplication::activeWindow() == &window;
}

// A chart that cannot be read says why at the head of the information box, which the compact
// layout shows, then its path.
TEST_F(PlayerWindowTest, TheInformationBoxSaysWhyAChartFailed) {
    const QString big = dir.path() + u"/big.bms"_qs;
    testing::writeBytes(big, {});
    ASSERT_TRUE(QFile::resize(big, kMaxChartBytes + 1));  // sparse: costs no disk
    controller.open(big);
    ASSERT_TRUE(controller.waitForLoad(testing::kLoadWaitMs));
    EXPECT_EQ(window.Text1->toPlainText(), u"ﾌｧｲﾙが大きすぎます。\n"_qs + big);
    EXPECT_EQ(window.Label3->text(), u"ｽﾃｰﾀｽ : ﾌｧｲﾙが大きすぎます。"_qs);
}

// A notice (no sound device) shows until the first chart's fields come, above them, then goes.
TEST_F(PlayerWindowTest, ANoticeStandsAboveTheFirstChartOnly) {
    window.showNotice(u"音が出ません。"_qs);
    EXPECT_EQ(window.Text1->toPlainText(), u"音が出ません。"_qs);
    window.informationChanged(u"TITLE : a\r\nBPM : 130"_qs);
    EXPECT_EQ(window.Text1->toPlainText(), u"音が出ません。\nTITLE : a\nBPM : 130"_qs);
    window.informationChanged(u"TITLE : b"_qs);
    EXPECT_EQ(window.Text1->toPlainText(), u"TITLE : b"_qs);
}

// Space holds a playing chart and lets it go on; Play goes on too, as a CD player's does.
TEST_F(PlayerWindowTest, SpacePausesAndPlayGoesOn) {
    testing::writeWav(dir.path() + u"/k.wav"_qs, 10, 1000);
    controller.open(chartFile(u"space.bms"_qs, "#WAV01 k.wav\n#00111:01\n#00911:01\n"));
    ASSERT_TRUE(controller.waitForLoad(testing::kLoadWaitMs));
    ASSERT_TRUE(activate(window));
    const auto space = [this] {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier);
        QApplication::sendEvent(window.List1, &press);
    };
    space();
    EXPECT_TRUE(controller.paused());
    space();
    EXPECT_FALSE(controller.paused());
    EXPECT_TRUE(controller.running());
    space();
    window.cmdPlay->click();
    EXPECT_FALSE(controller.paused());
    EXPECT_TRUE(controller.running());
}

TEST_F(PlayerWindowTest, ChartViewIsAskedForThreeWays) {
    int requests = 0;
    window.onChartViewRequested = [&] { ++requests; };
    const QSize size = window.size();

    // The context menu holds 譜面.
    EXPECT_EQ(window.contextMenuPolicy(), Qt::ActionsContextMenu);
    ASSERT_TRUE(window.actions().contains(window.chartViewAction));
    EXPECT_EQ(window.chartViewAction->text(), u"譜面"_qs);
    window.chartViewAction->trigger();
    EXPECT_EQ(requests, 1);

    // Ctrl+T, sent as the keyboard would to a control of the active window.
    ASSERT_TRUE(activate(window));
    QKeyEvent press(QEvent::KeyPress, Qt::Key_T, Qt::ControlModifier);
    QApplication::sendEvent(window.List1, &press);
    EXPECT_EQ(requests, 2);
    QKeyEvent plain(QEvent::KeyPress, Qt::Key_T, Qt::NoModifier);
    QApplication::sendEvent(window.List1, &plain);
    EXPECT_EQ(requests, 2);

    // The hidden code; a near miss does nothing.
    for (const QString& code : {u"譜面 "_qs, u"ふめん"_qs, u"譜面"_qs}) {
        window.askCode = [&] { return code; };
        window.Label1_DblClick();
    }
    EXPECT_EQ(requests, 3);
    EXPECT_EQ(window.size(), size);  // the layout stays as it was
}

TEST_F(PlayerWindowTest, CloseHidesUnlessExitingAndDropsHandOnTheFirstFile) {
    window.show();
    controller.open(chartFile(u"a.bms"_qs, "#00111:01\n"));
    ASSERT_TRUE(controller.waitForLoad(testing::kLoadWaitMs));
    EXPECT_TRUE(controller.playing());
    EXPECT_FALSE(window.close());
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(controller.playing());
    EXPECT_EQ(playlistShown, 1);
    window.show();
    window.blnExiting = true;
    EXPECT_TRUE(window.close());
    EXPECT_EQ(playlistShown, 1);

    window.dropFiles({u"/a.bms"_qs, u"/b.bms"_qs, u"/c.txt"_qs});
    window.dropFiles({});
    EXPECT_EQ(dropped, QStringList{u"/a.bms"_qs});
}

TEST_F(PlayerWindowTest, PictureTogglesAndTips) {
    using Overlay = PlayerController::Overlay;
    const std::pair<void (PlayerWindow::*)(), Overlay> clicks[] = {
        {&PlayerWindow::TitleBGA_Click, Overlay::Title},
        {&PlayerWindow::TitleBGA_Click, Overlay::None},
        {&PlayerWindow::TitleBGA_Click, Overlay::Title},
        {&PlayerWindow::MissBGA_Click, Overlay::Miss},
        {&PlayerWindow::MissBGA_Click, Overlay::None},
    };
    for (const auto& [click, overlay] : clicks) {
        (window.*click)();
        EXPECT_EQ(controller.overlay(), overlay);
    }
    window.WaitBGA_Click();
    EXPECT_EQ(window.Picture1->toolTip(), u"Wait : Off"_qs);
    EXPECT_TRUE(controller.skipsLateEvents());
    window.WaitBGA_Click();
    EXPECT_EQ(window.Picture1->toolTip(), u"Wait : On"_qs);
    EXPECT_FALSE(controller.skipsLateEvents());

    window.messagesChanged({{LoadMessage::Kind::NoEvents, {}, {}},
                            {LoadMessage::Kind::ChartNotFound, u"x.bms"_qs, {}}});
    window.List1->setCurrentRow(1);
    EXPECT_EQ(window.List1->toolTip(), u"BMSﾌｧｲﾙ x.bms が見つかりません。"_qs);
    window.Frame1_Click();
    EXPECT_TRUE(window.Frame1->isHidden());
    window.Label1_Click();
    EXPECT_FALSE(window.Frame1->isHidden());
}

TEST_F(PlayerWindowTest, TheBgaWindowShowsThePictureAreaLarge) {
    const QSize own = window.Picture1->size();
    const QPointF middle(own.width() / 2.0, own.height() / 2.0);
    QMouseEvent doubleClick(QEvent::MouseButtonDblClick, middle,
                            window.Picture1->mapToGlobal(middle), Qt::LeftButton, Qt::LeftButton,
                            Qt::NoModifier);
    QApplication::sendEvent(window.Picture1, &doubleClick);
    BgaWindow* bga = window.bgaWindow();
    ASSERT_NE(bga, nullptr);
    EXPECT_TRUE(bga->isVisible());
    // Composed at the size the pictures are watched at, never below the picture area's own.
    const std::pair<QSize, QSize> sizes[] = {
        {{600, 400}, {400, 400}},
        {{100, 900}, own},
    };
    for (const auto& [outer, composed] : sizes) {
        bga->resize(outer);
        QApplication::processEvents();
        EXPECT_EQ(controller.pictureSize(), composed) << outer.width() << 'x' << outer.height();
    }
    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(Qt::red);
    window.pictureChanged(picture, 0);
    EXPECT_EQ(bga->picture().pixel(4, 4), picture.pixel(4, 4));

    const std::pair<int, bool> keys[] = {
        {Qt::Key_F11, true}, {Qt::Key_Escape, false}, {Qt::Key_Escape, false}, {Qt::Key_F11, true}};
    for (const auto& [key, fullScreen] : keys) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(bga, &press);
        EXPECT_EQ(bga->isFullScreen(), fullScreen) << key;
    }
    bga->close();
    EXPECT_EQ(controller.pictureSize(), own);
}

TEST_F(PlayerWindowTest, PreviewLabelsFollowTheMouse) {
    testing::writeWav(dir.path() + u"/k.wav"_qs, 5, 1000);
    controller.open(chartFile(u"a.bms"_qs, "#WAV01 k.wav\n"));
    ASSERT_TRUE(controller.waitForLoad(testing::kLoadWaitMs));
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
