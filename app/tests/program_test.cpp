#include <gtest/gtest.h>

#include "testing/qt_printers.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QMimeData>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <functional>

#include "app/program.h"
#include "playlist/list_file.h"
#include "testing/application.h"
#include "testing/fakes.h"
#include "testing/raw_files.h"
#include "testing/test_files.h"

namespace carvel {
namespace {

struct Application {
    Application() { testing::ensureApplication(); }
};

// The program on a fake clock and a recording output, its list file in a temporary folder.
class ProgramTest : public ::testing::Test, private Application {
  protected:
    ProgramTest()
        : output(clock),
          program(output, clock, dir.filePath(u"cuebook.dat"_qs)),
          playlist(program.playlist()),
          controller(program.controller()),
          player(program.player()),
          window(program.playlistWindow()) {
        player.openTextViewer = [this](const QString& path) {
            viewed.append(path);
            return true;
        };
        window.openTextViewer = player.openTextViewer;
        window.showMessage = [this](const QString& title, const QString& text) {
            messages.append(title + u'|' + text);
        };
        player.showMessage = window.showMessage;
        program.onQuit = [this] { ++quits; };
    }
    QString chartFile(const QString& name, const QByteArray& text) {
        const QString path = dir.filePath(name);
        testing::writeBytes(path, text);
        return path;
    }
    QStringList titles() const {
        QStringList t;
        for (const auto& e : playlist.entries()) {
            t.append(e.title);
        }
        return t;
    }
    void select(QListView* view, std::initializer_list<int> rows) {
        view->selectionModel()->clear();
        for (int row : rows) {
            view->selectionModel()->select(view->model()->index(row, 0),
                                           QItemSelectionModel::Select);
        }
    }
    // Runs a search of the open folder; false when it did not end within 10 s.
    bool search() {
        QEventLoop loop;
        bool finished = false;
        window.onSearchFinished = [&] {
            finished = true;
            loop.quit();
        };
        window.cmdSearch_Click();
        EXPECT_FALSE(window.cmdSearch->isEnabled());
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        loop.exec();
        window.onSearchFinished = nullptr;
        return finished;
    }
    void drop(const QList<QUrl>& urls) {
        QMimeData data;
        data.setUrls(urls);
        // Qt delivers a drop only to the widget that accepted the drag's entry.
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QCoreApplication::sendEvent(&player, &enter);
        QDropEvent event(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&player, &event);
    }
    void setCurrent(int row) {
        window.lstBMS->selectionModel()->setCurrentIndex(window.lstBMS->model()->index(row, 0),
                                                         QItemSelectionModel::NoUpdate);
    }

    QTemporaryDir dir;
    testing::FakeClock clock;
    testing::RecordingOutput output;
    Program program;
    Playlist& playlist;
    PlayerController& controller;
    PlayerWindow& player;
    PlaylistWindow& window;
    QStringList messages;
    QStringList viewed;
    int quits = 0;
};

TEST_F(ProgramTest, ListFileRoundTripAndEmptyExit) {
    const QString file = dir.filePath(u"cuebook.dat"_qs);
    window.Form_Load(QString());
    EXPECT_TRUE(playlist.isEmpty());
    window.close();
    EXPECT_FALSE(QFile::exists(file));  // an empty playlist writes nothing

    const QByteArray bytes = "A>/c/a.bms\r\nB>/c/b.bms\r\n";
    testing::writeBytes(file, bytes);
    window.Form_Load(QString());
    EXPECT_EQ(titles(), (QStringList{u"A"_qs, u"B"_qs}));
    window.close();
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), bytes);
    EXPECT_TRUE(player.blnExiting);
    EXPECT_EQ(quits, 2);
}

TEST_F(ProgramTest, RemovingEverythingKeepsTheOldFile) {
    const QString file = dir.filePath(u"cuebook.dat"_qs);
    testing::writeBytes(file, "A>/a\r\n");
    window.Form_Load(QString());
    select(window.lstBMS, {0});
    window.cmdRemove_Click();
    EXPECT_TRUE(playlist.isEmpty());
    window.close();
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("A>/a\r\n"));
}

TEST_F(ProgramTest, EditingKeepsBothHalvesInStep) {
    for (const char* name : {"e0", "e1", "e2", "e3", "e4"}) {
        window.foundList().append(
            {QString::fromLatin1(name), u"/p/"_qs + QString::fromLatin1(name)});
    }
    window.cmdAdd_Click();  // nothing marked
    EXPECT_TRUE(playlist.isEmpty());
    select(window.List1, {0, 2});
    window.cmdAdd_Click();
    window.cmdAdd_Click();
    EXPECT_EQ(titles(), (QStringList{u"e0"_qs, u"e2"_qs, u"e0"_qs, u"e2"_qs}));
    select(window.List1, {1, 3, 4});
    window.cmdAdd_Click();
    // e0 e2 e0 e2 e1 e3 e4: remove entries 1 and 3
    select(window.lstBMS, {1, 3});
    window.cmdRemove_Click();
    EXPECT_EQ(titles(), (QStringList{u"e0"_qs, u"e0"_qs, u"e1"_qs, u"e3"_qs, u"e4"_qs}));
    select(window.lstBMS, {});
    window.cmdRemove_Click();
    EXPECT_EQ(playlist.count(), 5);

    setCurrent(2);
    window.cmdDown_Click();
    EXPECT_EQ(titles(), (QStringList{u"e0"_qs, u"e0"_qs, u"e3"_qs, u"e1"_qs, u"e4"_qs}));
    EXPECT_EQ(window.lstBMS->currentIndex().row(), 3);
    window.cmdUp_Click();
    window.cmdUp_Click();
    EXPECT_EQ(titles(), (QStringList{u"e0"_qs, u"e1"_qs, u"e0"_qs, u"e3"_qs, u"e4"_qs}));
    setCurrent(0);
    window.cmdUp_Click();
    setCurrent(4);
    window.cmdDown_Click();
    EXPECT_EQ(titles(), (QStringList{u"e0"_qs, u"e1"_qs, u"e0"_qs, u"e3"_qs, u"e4"_qs}));
    for (const auto& e : playlist.entries()) {
        EXPECT_EQ(e.path, u"/p/"_qs + e.title);
    }
}

TEST_F(ProgramTest, StartPlaysTheCurrentEntryOrTheFirst) {
    window.cmdStart_Click();  // empty: nothing at all
    EXPECT_FALSE(player.isVisible());
    const QString a = chartFile(u"a.bms"_qs, "#TITLE A\n#00111:01\n");
    const QString b = chartFile(u"b.bms"_qs, "#TITLE B\n#00111:01\n");
    const QString c = chartFile(u"c.bms"_qs, "#TITLE C\n#00111:01\n");
    playlist.appendAll({{u"A"_qs, a}, {u"B"_qs, b}, {u"C"_qs, c}});
    struct Case {
        int current;
        const char16_t* title;
    };
    for (const Case& k : {Case{2, u"C"}, Case{0, u"A"}, Case{-1, u"A"}, Case{1, u"B"}}) {
        window.lstBMS->selectionModel()->clear();
        if (k.current >= 0) {
            setCurrent(k.current);
        }
        window.cmdStart_Click();
        EXPECT_EQ(controller.chart().title, QString::fromUtf16(k.title));
        EXPECT_TRUE(player.isVisible());
        EXPECT_FALSE(window.isVisible());
    }
}

TEST_F(ProgramTest, CommandLineStart) {
    const QString a = chartFile(u"a.bms"_qs, "#TITLE A\n#00111:01\n");
    const QString fresh = chartFile(u"new.bms"_qs, "#00111:01\n");
    testing::writeBytes(dir.filePath(u"cuebook.dat"_qs), (u"A>"_qs + a + u"\r\n"_qs).toUtf8());

    window.Form_Load(a);  // a stored entry plays from the list
    EXPECT_EQ(playlist.count(), 1);
    EXPECT_EQ(playlist.current(), 0);
    EXPECT_EQ(controller.chart().title, u"A"_qs);
    EXPECT_EQ(window.foundList().count(), 0);

    playlist.clear();
    window.Form_Load(fresh);  // not in the list: added with its probed title, and played
    EXPECT_EQ(titles(), (QStringList{u"A"_qs, u"無題"_qs}));
    EXPECT_EQ(playlist.current(), 1);
    EXPECT_EQ(window.foundList().count(), 1);

    playlist.clear();
    window.Form_Load(u"\""_qs + a + u"\""_qs);  // quoted: no such file
    window.Form_Load(dir.filePath(u"missing.bms"_qs));
    EXPECT_EQ(playlist.count(), 2);  // only the stored entries
    EXPECT_EQ(window.foundList().count(), 1);

    playlist.clear();
    window.Form_Load(a.toUpper() == a ? a : a.left(a.size() - 5) + u"A.bms"_qs);
    EXPECT_EQ(playlist.count(), 1);  // another letter case names no existing file here
}

TEST_F(ProgramTest, SearchRunsOffTheUiThreadAndAppendsInOneStep) {
    chartFile(u"tree/x.bms"_qs, "#TITLE X\n");
    chartFile(u"tree/sub/y.BMS"_qs, "#TITLE Y\n");
    window.openFolder(dir.filePath(u"tree"_qs));
    for (int round = 1; round <= 2; ++round) {
        ASSERT_TRUE(search()) << "the search did not end within 10 s";
        EXPECT_TRUE(window.cmdSearch->isEnabled());
        ASSERT_EQ(window.foundList().count(), 2 * round);
        EXPECT_EQ(window.foundList().at(2 * round - 2).title, u"X"_qs);
        EXPECT_EQ(window.foundList().at(2 * round - 1).title, u"Y"_qs);
    }
}

TEST_F(ProgramTest, NamesWithLineBreaksAreRefusedAndCp932NamesDecoded) {
    const QString broken = chartFile(u"tree/line\nbreak.bms"_qs, "#TITLE B\n#00111:01\n");
    const QString plain = chartFile(u"tree/plain.bms"_qs, "#TITLE P\n#00111:01\n");
    const QString refused = u"ｴﾗｰ|改行を含むﾌｧｲﾙ名は追加できません。"_qs;
    const std::function<void()> attempts[] = {
        [&] { window.Form_Load(broken); },
        [&] {
            drop({QUrl::fromLocalFile(broken), QUrl::fromLocalFile(plain)});
        },
        [&] { drop({QUrl(u"file:///tmp/a%0Db.bms"_qs)}); },
    };
    for (const auto& attempt : attempts) {
        messages.clear();
        attempt();
        EXPECT_TRUE(playlist.isEmpty());
        EXPECT_EQ(window.foundList().count(), 0);
        EXPECT_EQ(messages, QStringList{refused});
        EXPECT_FALSE(player.isVisible());
    }
    // The search lists the other charts and says it once.
    messages.clear();
    window.openFolder(dir.filePath(u"tree"_qs));
    ASSERT_TRUE(search()) << "the search did not end within 10 s";
    ASSERT_EQ(window.foundList().count(), 1);
    EXPECT_EQ(window.foundList().at(0).path, plain);
    EXPECT_EQ(messages, QStringList{refused});

    // テ.bms on disk in CP932, dropped: added by its decoded path, and played.
    const QByteArray native = QFile::encodeName(dir.path()) + "/\x83\x65.bms";
    testing::makeRaw(native, 'f', "#TITLE \x83\x65\n#00111:01\n");
    const auto removeIt = qScopeGuard([&] { ::unlink(native.constData()); });
    messages.clear();
    drop({QUrl::fromEncoded("file://" + native.toPercentEncoding("/"))});
    ASSERT_EQ(playlist.count(), 1);
    EXPECT_EQ(playlist.at(0).path, dir.path() + u"/テ.bms"_qs);
    EXPECT_EQ(controller.chart().title, u"テ"_qs);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(ProgramTest, SearchOfAVanishedFolderSaysSo) {
    QDir().mkpath(dir.filePath(u"gone"_qs));
    window.openFolder(dir.filePath(u"gone"_qs));
    QDir(dir.filePath(u"gone"_qs)).removeRecursively();
    window.cmdSearch_Click();
    EXPECT_TRUE(window.cmdSearch->isEnabled());
    EXPECT_EQ(messages,
              QStringList{u"ｴﾗｰ|ﾌｫﾙﾀﾞ "_qs + dir.filePath(u"gone"_qs) + u" を読み込めません。"_qs});
    EXPECT_EQ(window.foundList().count(), 0);
}

TEST_F(ProgramTest, ReadmeMissingSaysSo) {
    window.cmdReadReadMe_Click();
    const QString readme = QCoreApplication::applicationDirPath() + u"/readme.txt"_qs;
    if (QFile::exists(readme)) {
        EXPECT_EQ(viewed, QStringList{readme});
    } else {
        EXPECT_EQ(messages, QStringList{u"ｴﾗｰ|readme.txt が見つかりません。"_qs});
    }
}

TEST_F(ProgramTest, FoldersAndDrives) {
    QDir().mkpath(dir.filePath(u"f/inner"_qs));
    window.openFolder(dir.filePath(u"f"_qs));
    EXPECT_EQ(window.Dir1Path(), dir.filePath(u"f"_qs));
    EXPECT_EQ(window.Dir1->count(), 3);  // the path, "..", inner
    window.cmdAppPath_Click();
    EXPECT_EQ(window.Dir1Path() + u'/', QCoreApplication::applicationDirPath() + u'/');
    window.openFolder(dir.filePath(u"gone"_qs));  // a folder that is not there changes nothing
    EXPECT_EQ(window.Dir1Path() + u'/', QCoreApplication::applicationDirPath() + u'/');
}

TEST_F(ProgramTest, DropsJoinThePlaylistAndPlayWhenIdle) {
    const QString a = chartFile(u"a.bms"_qs, "#TITLE A\n#00111:01\n");
    const QString b = chartFile(u"b.bms"_qs, "#00111:01\n");
    const QString c = chartFile(u"c.txt"_qs, "no chart here\n");
    player.show();  // a drop lands on a shown player; a hidden one stops what it plays
    player.dropFiles({a, b, c});
    ASSERT_EQ(playlist.count(), 1);
    EXPECT_EQ(playlist.at(0).title, u"A"_qs);
    EXPECT_EQ(playlist.current(), 0);
    EXPECT_EQ(controller.chart().title, u"A"_qs);
    EXPECT_TRUE(controller.playing());

    player.dropFiles({b});  // while playing: only queued
    ASSERT_EQ(playlist.count(), 2);
    EXPECT_EQ(playlist.at(1).title, u"無題"_qs);
    EXPECT_EQ(playlist.current(), 0);
    EXPECT_EQ(controller.chart().title, u"A"_qs);

    controller.stop();
    testing::runFor(controller, clock, 10);
    player.dropFiles({c});
    EXPECT_EQ(playlist.current(), 2);
    EXPECT_EQ(player.List1->item(0)->text(), u"ｵﾌﾞｼﾞｪｸﾄがありません。"_qs);
}

}  // namespace
}  // namespace carvel
