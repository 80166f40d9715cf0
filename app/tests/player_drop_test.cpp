#include <QScopeGuard>
#include <functional>

#include "app/tests/program_rig.h"
#include "testing/raw_files.h"

namespace carvel {
namespace {

struct PlayerDropTest : ::testing::Test, testing::ProgramRig {};

// A drop joins the playlist; it plays whenever no run is in progress, wherever it lands.
TEST_F(PlayerDropTest, ADropPlaysWheneverNoRunIsInProgress) {
    player.show();  // a drop lands on a shown player; a hidden one stops what it plays
    // The run ends on a chart without events: nothing plays any more.
    playlist.appendAll({{u"A"_qs, chart(u"A"_qs)}, {u"E"_qs, dir.filePath(u"e.bms"_qs)}});
    testing::writeBytes(playlist.at(1).path, "#TITLE E\n");
    window.cmdStart_Click();
    ASSERT_TRUE(loaded());
    testing::runFor(controller, clock, 60000);  // A completes and E is opened
    ASSERT_TRUE(loaded());
    ASSERT_EQ(controller.chart().title, u"E"_qs);

    drop({QUrl::fromLocalFile(chart(u"D"_qs))}, player.Text1);
    EXPECT_TRUE(controller.running());  // loading to play
    ASSERT_TRUE(loaded());
    EXPECT_EQ(titles(), u"AED"_qs);
    EXPECT_EQ(playlist.current(), 2);
    EXPECT_EQ(controller.chart().title, u"D"_qs);
    EXPECT_TRUE(controller.running());
    EXPECT_TRUE(player.Text1->toPlainText().startsWith(u"TITLE : D"_qs));

    drop({QUrl::fromLocalFile(chart(u"Q"_qs))}, player.Picture1);  // while playing: only queued
    EXPECT_EQ(titles(), u"AEDQ"_qs);
    EXPECT_EQ(playlist.current(), 2);
    EXPECT_EQ(controller.chart().title, u"D"_qs);

    // A missing chart says so, and clears the count.
    controller.stop();
    QCoreApplication::processEvents();
    drop({QUrl::fromLocalFile(dir.filePath(u"gone.bms"_qs))}, player.Picture1);
    ASSERT_TRUE(loaded());
    QCoreApplication::processEvents();
    EXPECT_EQ(playlist.count(), 5);
    EXPECT_EQ(player.Label3->text(), u"ｽﾃｰﾀｽ : ﾌｧｲﾙが見つかりません。"_qs);
    EXPECT_EQ(player.Label1->text(), u"0"_qs);
    EXPECT_EQ(player.Text1->toPlainText(),
              u"ﾌｧｲﾙが見つかりません。\n"_qs + dir.filePath(u"gone.bms"_qs));
    drop({QUrl::fromLocalFile(chart(u"P"_qs))}, player.cmdPlay);
    ASSERT_TRUE(loaded());
    EXPECT_EQ(controller.chart().title, u"P"_qs);
}

// A path with a line break is refused wherever it comes from; a CP932 name is decoded.
TEST_F(PlayerDropTest, NamesWithLineBreaksAreRefusedAndCp932NamesDecoded) {
    const QString broken = chart(u"B"_qs, u"line\nbreak.bms"_qs);
    const std::function<void()> attempts[] = {
        [&] { window.Form_Load(broken); },
        [&] {
            drop({QUrl::fromLocalFile(broken), QUrl::fromLocalFile(chart(u"P"_qs))});
        },
        [&] { drop({QUrl(u"file:///tmp/a%0Db.bms"_qs)}); },
    };
    for (const auto& attempt : attempts) {
        messages.clear();
        attempt();
        EXPECT_TRUE(playlist.isEmpty());
        EXPECT_EQ(window.foundList().count(), 0);
        EXPECT_EQ(messages, QStringList{u"ｴﾗｰ|改行を含むﾌｧｲﾙ名は追加できません。"_qs});
        EXPECT_FALSE(player.isVisible());
    }
    // テ.bms on disk in CP932, dropped: added by its decoded path, and played.
    const QByteArray native = QFile::encodeName(dir.path()) + "/\x83\x65.bms";
    testing::makeRaw(native, 'f', "#TITLE \x83\x65\n#00111:01\n");
    const auto removeIt = qScopeGuard([&] { ::unlink(native.constData()); });
    messages.clear();
    drop({QUrl::fromEncoded("file://" + native.toPercentEncoding("/"))});
    ASSERT_EQ(playlist.count(), 1);
    ASSERT_TRUE(loaded());
    EXPECT_EQ(playlist.at(0).path, dir.path() + u"/テ.bms"_qs);
    EXPECT_EQ(controller.chart().title, u"テ"_qs);
    EXPECT_TRUE(messages.isEmpty());
}

}  // namespace
}  // namespace carvel
