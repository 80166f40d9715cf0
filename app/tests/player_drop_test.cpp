#include <gtest/gtest.h>

#include "testing/qt_printers.h"

#include <QCoreApplication>
#include <QMimeData>
#include <QUrl>
#include <QWindow>

#include "app/tests/program_rig.h"

namespace carvel {
namespace {

class PlayerDropTest : public ::testing::Test, protected testing::ProgramRig {
  protected:
    // A drag of a file that also offers its path as text, dropped at a point of the player as the
    // window system delivers it: to the window, which finds the control under the point.
    void dropOn(QWidget* control, const QString& path) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        data.setText(path);
        const QPointF at = control->mapTo(&player, control->rect().center());
        QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(player.windowHandle(), &enter);
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(player.windowHandle(), &drop);
    }
};

TEST_F(PlayerDropTest, ADropPlaysWheneverNoRunIsInProgress) {
    player.show();
    // The run ends on a chart without events: nothing plays any more.
    playlist.appendAll({{u"A"_qs, chart(u"A"_qs)}, {u"E"_qs, dir.filePath(u"e.bms"_qs)}});
    testing::writeBytes(playlist.at(1).path, "#TITLE E\n");
    window.cmdStart_Click();
    testing::runFor(controller, clock, 60000);
    ASSERT_EQ(controller.chart().title, u"E"_qs);

    dropOn(player.Text1, chart(u"D"_qs));
    ASSERT_EQ(playlist.count(), 3);
    EXPECT_EQ(playlist.current(), 2);
    EXPECT_EQ(controller.chart().title, u"D"_qs);
    EXPECT_TRUE(controller.running());
    EXPECT_TRUE(player.Text1->toPlainText().startsWith(u"TITLE : D"_qs));

    // A missing chart says so, and clears the count.
    controller.stop();
    QCoreApplication::processEvents();
    dropOn(player.Picture1, dir.filePath(u"gone.bms"_qs));
    QCoreApplication::processEvents();
    EXPECT_EQ(playlist.count(), 4);
    EXPECT_EQ(player.Label3->text(), u"ｽﾃｰﾀｽ : ﾌｧｲﾙが見つかりません。"_qs);
    EXPECT_EQ(player.Label1->text(), u"0"_qs);
    EXPECT_EQ(player.Text1->toPlainText(),
              u"BMSﾌｧｲﾙ "_qs + dir.filePath(u"gone.bms"_qs) + u" が見つかりません。"_qs);
    dropOn(player.cmdPlay, chart(u"P"_qs));
    EXPECT_EQ(controller.chart().title, u"P"_qs);
}

}  // namespace
}  // namespace carvel
