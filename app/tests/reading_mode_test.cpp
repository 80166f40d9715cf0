#include <gtest/gtest.h>

#include "testing/qt_printers.h"

#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include "app/program.h"
#include "testing/application.h"
#include "testing/fakes.h"
#include "testing/test_files.h"

namespace carvel {
namespace {

const QString kFullOn =
    u"Carvel|拡張BMSﾓｰﾄﾞになりました。\n次に開くBMSから、拡張BMSとして読み込みます。"_qs;
const QString kFullOff =
    u"Carvel|通常ﾓｰﾄﾞになりました。\n次に開くBMSから、通常のBMSとして読み込みます。"_qs;
const QString kNotKept = u"\n設定を保存できませんでした。次の起動では元のﾓｰﾄﾞに戻ります。"_qs;

// A program started on a settings file; the hidden tools' box answers 「拡張BMS」.
struct Session {
    explicit Session(const QString& settings)
        : program(output, clock, settings + u".list"_qs, {}, settings) {
        program.player().askCode = [] { return u"拡張BMS"_qs; };
        program.player().showInformation = [this](const QString& title, const QString& text) {
            shown.append(title + u'|' + text);
        };
    }
    ReadingMode mode() { return program.controller().readOptions().mode; }
    // The found list after a search of folder; empty when the search did not end within 10 s.
    QStringList search(const QString& folder) {
        PlaylistWindow& window = program.playlistWindow();
        QEventLoop loop;
        window.foundList().clear();
        window.onSearchFinished = [&loop] { loop.quit(); };
        window.openFolder(folder);
        window.cmdSearch_Click();
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        loop.exec();
        QStringList names;
        for (const auto& e : window.foundList().entries()) {
            names.append(e.path.sliced(folder.size() + 1));
        }
        names.sort();
        return names;
    }

    testing::FakeClock clock;
    testing::RecordingOutput output{clock};
    Program program;
    QStringList shown;
};

TEST(ReadingModeSwitch, TheCodeTogglesTheModeAndTheNextStartRemembersIt) {
    testing::ensureApplication();
    QTemporaryDir dir;
    const QString settings = dir.filePath(u"config/carvel/carvel.conf"_qs);
    const QString charts = dir.filePath(u"charts"_qs);
    for (const char* name : {"a.bms", "b.BME", "c.bml", "d.pms", "e.txt"}) {
        testing::writeBytes(charts + u'/' + QString::fromLatin1(name), "#TITLE x\n");
    }
    {
        Session first(settings);
        EXPECT_EQ(first.mode(), ReadingMode::Classic);
        EXPECT_EQ(first.search(charts), QStringList{u"a.bms"_qs});
        first.program.player().Label1_DblClick();
        EXPECT_EQ(first.mode(), ReadingMode::Full);
        EXPECT_EQ(first.shown, QStringList{kFullOn});
        EXPECT_EQ(first.search(charts),
                  (QStringList{u"a.bms"_qs, u"b.BME"_qs, u"c.bml"_qs, u"d.pms"_qs}));
    }
    {
        Session second(settings);
        EXPECT_EQ(second.mode(), ReadingMode::Full);  // remembered
        second.program.player().Label1_DblClick();
        EXPECT_EQ(second.mode(), ReadingMode::Classic);
        EXPECT_EQ(second.shown, QStringList{kFullOff});
    }
    {
        Session third(settings);
        EXPECT_EQ(third.mode(), ReadingMode::Classic);
        third.program.handOver({dir.path(), u"--full"_qs});  // carvel --full: this run only
        EXPECT_EQ(third.mode(), ReadingMode::Full);
    }
    EXPECT_EQ(Session(settings).mode(), ReadingMode::Classic);

    // A settings file that cannot be written: the mode changes for this run, and the box says so.
    Session unkept(charts + u"/a.bms/carvel.conf"_qs);
    unkept.program.player().Label1_DblClick();
    EXPECT_EQ(unkept.mode(), ReadingMode::Full);
    EXPECT_EQ(unkept.shown, QStringList{kFullOn + kNotKept});
}

}  // namespace
}  // namespace carvel
