#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMimeData>
#include <QThread>
#include <QUrl>
#include <cerrno>
#include <functional>
#include <memory>

#include "app/tests/program_rig.h"
#include "testing/raw_files.h"

namespace carvel {
namespace {

struct ProgramTest : ::testing::Test, testing::ProgramRig {
    QString chosen() const {
        const QModelIndex current = window.lstBMS->currentIndex();
        return current.isValid() ? playlist.at(current.row()).title : QString();
    }
    static QList<int> marks(QListView* view) {
        QList<int> rows;
        for (const QModelIndex& index : view->selectionModel()->selectedRows()) {
            rows.append(index.row());
        }
        std::sort(rows.begin(), rows.end());
        return rows;
    }
};

TEST_F(ProgramTest, TheListFileIsReadAtStartAndWrittenAtExit) {
    const QString file = dir.filePath(u"cuebook.dat"_qs);
    const QString a = chart(u"A"_qs);
    testing::writeBytes(file, "B>/c/b.bms\r\n");
    window.Form_Load(a);  // a chart that is not listed yet is added and played
    ASSERT_TRUE(loaded());
    EXPECT_EQ(titles(), u"BA"_qs);
    EXPECT_EQ(controller.chart().title, u"A"_qs);
    window.close();
    EXPECT_TRUE(player.blnExiting);
    EXPECT_EQ(testing::readBytes(file), "B>/c/b.bms\r\nA>" + a.toUtf8() + "\r\n");
    // An emptied playlist is saved empty: the old list must not come back at the next start.
    mark(window.lstBMS, {0, 1});
    window.cmdRemove_Click();
    EXPECT_TRUE(playlist.isEmpty());
    window.close();
    EXPECT_EQ(quits, 2);
    EXPECT_EQ(QFileInfo(file).size(), 0);
    EXPECT_TRUE(QFileInfo(file).isFile());
}

// A first start, with no list file yet, lists the demo; a list emptied before lists nothing.
TEST(FirstStart, ListsTheDemoOnlyWithoutAListFile) {
    for (const bool emptied : {false, true}) {
        testing::ProgramRig rig;
        if (emptied) {
            testing::writeBytes(rig.dir.filePath(u"cuebook.dat"_qs), {});
        }
        rig.window.firstChart = rig.chart(u"D"_qs);
        rig.window.Form_Load({});
        EXPECT_EQ(rig.titles(), emptied ? QString() : u"D"_qs) << emptied;
    }
}

// A change reaches the list file a moment later, before any exit.
TEST_F(ProgramTest, AChangeIsWrittenWithoutWaitingForTheExit) {
    const QString file = dir.filePath(u"cuebook.dat"_qs);
    window.Form_Load({});
    window.AddFromFileName(chart(u"E"_qs));
    ASSERT_EQ(titles(), u"E"_qs);
    // Waits for the write, 10 s at most.
    for (int i = 0; i < 1000 && !testing::readBytes(file).startsWith("E>"); ++i) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(10);
    }
    EXPECT_TRUE(testing::readBytes(file).startsWith("E>"))
        << testing::readBytes(file).toStdString();
}

// The playlist behaves as a list: a double-click or Enter plays the entry, Delete removes the
// marked ones, and the context menu plays, removes and shows the entry's folder.
TEST_F(ProgramTest, ThePlaylistBehavesAsAList) {
    const QString file = dir.filePath(u"cuebook.dat"_qs);
    QString list;
    for (const QString& title : {u"A"_qs, u"B"_qs, u"C"_qs}) {
        list += title + u'>' + chart(title) + u"\r\n"_qs;
    }
    testing::writeBytes(file, list.toUtf8());
    window.Form_Load({});
    ASSERT_EQ(titles(), u"ABC"_qs);
    Q_EMIT window.lstBMS->activated(window.lstBMS->model()->index(1, 0));
    ASSERT_TRUE(loaded());
    EXPECT_EQ(controller.chart().title, u"B"_qs);

    const QList<QAction*> menu = window.lstBMS->actions();
    QStringList names;
    for (QAction* action : menu) {
        names.append(action->text());
    }
    EXPECT_EQ(names, (QStringList{u"再生"_qs, u"削除"_qs, u"ﾌｫﾙﾀﾞを開く"_qs}));
    QString shown;
    window.showFolder = [&](const QString& folder) { shown = folder; };
    window.lstBMS->setCurrentIndex(window.lstBMS->model()->index(2, 0));
    menu[2]->trigger();
    EXPECT_EQ(shown, dir.path());

    // Delete, as the keyboard sends it to the list with the window active.
    window.show();
    window.activateWindow();
    window.lstBMS->setFocus();
    for (int i = 0; i < 200 && QApplication::focusWidget() != window.lstBMS; ++i) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    mark(window.lstBMS, {0, 2});
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
    QApplication::sendEvent(window.lstBMS, &del);
    EXPECT_EQ(titles(), u"B"_qs);
}

// Entries dragged within the playlist land together, in their order, before the row dropped on.
TEST_F(ProgramTest, EntriesDraggedWithinThePlaylistLandTogether) {
    struct Case {
        std::vector<int> rows;
        int row;  // -1: below the last entry
        const char16_t* titles;
    };
    const Case cases[] = {
        {{0, 1}, 3, u"CABDE"}, {{3, 4}, 1, u"ADEBC"}, {{0, 4}, 2, u"BAECD"},
        {{2}, -1, u"ABDEC"},   {{1}, 1, u"ABCDE"},    {{}, 0, u"ABCDE"},
    };
    QAbstractItemModel* model = window.lstBMS->model();
    for (const Case& c : cases) {
        playlist.clear();
        for (const char16_t* t : {u"A", u"B", u"C", u"D", u"E"}) {
            playlist.append({QString::fromUtf16(t), u"/"_qs + QString::fromUtf16(t)});
        }
        ASSERT_TRUE(model->flags(model->index(0, 0)) & Qt::ItemIsDragEnabled);
        QModelIndexList indexes;
        for (const int r : c.rows) {
            indexes.append(model->index(r, 0));
        }
        std::unique_ptr<QMimeData> data(model->mimeData(indexes));
        model->dropMimeData(data.get(), Qt::MoveAction, c.row, 0, QModelIndex());
        EXPECT_EQ(titles(), QString::fromUtf16(c.titles)) << c.row;
    }
}

// Chart files dropped on the playlist window join the list in order; anything else is left out.
TEST_F(ProgramTest, ChartFilesDroppedOnThePlaylistWindowJoinIt) {
    window.Form_Load({});
    testing::writeBytes(dir.filePath(u"notes.txt"_qs), "x");
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(chart(u"P"_qs)),
                  QUrl::fromLocalFile(dir.filePath(u"notes.txt"_qs)),
                  QUrl::fromLocalFile(dir.filePath(u"gone.bms"_qs)),
                  QUrl::fromLocalFile(chart(u"Q"_qs, u"q.BME"_qs))});
    QDragEnterEvent enter({10, 10}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &drop);
    EXPECT_EQ(titles(), u"PQ"_qs);
    EXPECT_FALSE(controller.running());  // joined, not played
}

// A list file that cannot be read whole is never written over: the list of this run goes beside it
// as cuebook.dat.new, and the box says so. Neither is a list written that was never read, nor one
// the program was told to leave alone.
TEST(ListFileRefusal, Table) {
    struct Case {
        const char* what;
        std::function<void(const QString& file)> make;
        bool load;       // the program starts (reads its list) before it closes
        QString error;   // the reason in the box; empty: no box
        bool savedNew;   // the list went to cuebook.dat.new
        bool untouched;  // cuebook.dat is left as made
    };
    const QString notRegular = u"通常のﾌｧｲﾙではありません"_qs;
    const auto writeList = [](const QString& file) { testing::writeBytes(file, "B>/b.bms\r\n"); };
    const Case cases[] = {
        {"a folder", [](const QString& f) { QDir().mkpath(f); }, true, notRegular, true, true},
        {"a FIFO", [](const QString& f) { testing::makeRaw(QFile::encodeName(f), 'p'); }, true,
         notRegular, true, true},
        {"an I/O error", [](const QString& f) { QFile::link(u"/proc/self/mem"_qs, f); }, true,
         qt_error_string(EIO), true, true},
        {"closed before it was read", writeList, false, {}, false, true},
        {"a readable list", writeList, true, {}, false, false},
    };
    for (const Case& c : cases) {
        testing::ProgramRig rig;
        const QString file = rig.dir.filePath(u"cuebook.dat"_qs);
        c.make(file);
        const QFileInfo before(file);
        const QByteArray bytes = before.isFile() ? testing::readBytes(file) : QByteArray();
        if (c.load) {
            rig.program.start(QString());
        }
        rig.playlist.append({u"A"_qs, u"/a.bms"_qs});
        rig.window.close();
        const QStringList messages =
            c.error.isEmpty()
                ? QStringList()
                : QStringList{u"ｴﾗｰ|ﾘｽﾄを読み込めませんでした ("_qs + file + u": "_qs + c.error +
                              u")。このﾌｧｲﾙは上書きせず、ﾘｽﾄは "_qs + file +
                              u".new に保存します。"_qs};
        EXPECT_EQ(rig.messages, messages) << c.what;
        EXPECT_EQ(testing::readBytes(file + u".new"_qs),
                  c.savedNew ? QByteArray("A>/a.bms\r\n") : QByteArray())
            << c.what;
        const QFileInfo after(file);
        if (c.untouched) {
            EXPECT_EQ(after.isFile(), before.isFile()) << c.what;
            EXPECT_EQ(after.isSymLink(), before.isSymLink()) << c.what;
            EXPECT_EQ(after.isFile() ? testing::readBytes(file) : QByteArray(), bytes) << c.what;
        } else {
            EXPECT_EQ(testing::readBytes(file), "B>/b.bms\r\nA>/a.bms\r\n") << c.what;
        }
    }
    // A program that does not hold its list file's lock writes nothing at all.
    testing::ProgramRig rig;
    const QString file = rig.dir.filePath(u"cuebook.dat"_qs);
    writeList(file);
    rig.program.neverWriteListFile(u"held elsewhere"_qs);
    rig.program.start(QString());
    rig.playlist.clear();
    rig.window.close();
    EXPECT_EQ(rig.messages, QStringList{u"ｴﾗｰ|held elsewhere"_qs});
    EXPECT_EQ(testing::readBytes(file), "B>/b.bms\r\n");
    EXPECT_FALSE(QFileInfo::exists(file + u".new"_qs));
}

// The playlist's chosen entry (its current row) and the marks of both lists stay on their entries
// through every edit, so Start plays the entry the user picked.
TEST_F(ProgramTest, TheChoiceAndTheMarksStayThroughEveryEdit) {
    window.cmdStart_Click();  // an empty playlist: nothing at all
    EXPECT_FALSE(player.isVisible());
    for (const QString& t : {u"A"_qs, u"B"_qs, u"C"_qs, u"D"_qs}) {
        playlist.append({t, chart(t)});
    }
    window.foundList().appendAll({{u"E"_qs, chart(u"E"_qs)}, {u"F"_qs, chart(u"F"_qs)}});
    window.openFolder(dir.path());
    window.cmdAdd_Click();  // nothing marked
    mark(window.List1, {0, 1});
    mark(window.lstBMS, {0, 2});
    setCurrent(2);
    struct Step {
        const char* what;
        std::function<void()> act;
        QString titles, chosen;
        QList<int> marks;  // of the playlist
    };
    const auto up = [&] { window.cmdUp_Click(); };
    const auto down = [&] { window.cmdDown_Click(); };
    const Step steps[] = {
        {"add", [&] { window.cmdAdd_Click(); }, u"ABCDEF"_qs, u"C"_qs, {0, 2}},
        {"up", up, u"ACBDEF"_qs, u"C"_qs, {0, 1}},
        {"up again", up, u"CABDEF"_qs, u"C"_qs, {0, 1}},
        {"up at the top", up, u"CABDEF"_qs, u"C"_qs, {0, 1}},
        {"down", down, u"ACBDEF"_qs, u"C"_qs, {0, 1}},
        {"down again", down, u"ABCDEF"_qs, u"C"_qs, {0, 2}},
        {"down at the bottom",
         [&] { setCurrent(5), window.cmdDown_Click(), setCurrent(2); },
         u"ABCDEF"_qs,
         u"C"_qs,
         {0, 2}},
        {"drop", [&] { player.dropFiles({chart(u"G"_qs)}); }, u"ABCDEFG"_qs, u"C"_qs, {0, 2}},
        {"search", [&] { ASSERT_TRUE(search()); }, u"ABCDEFG"_qs, u"C"_qs, {0, 2}},
        {"remove none",
         [&] { mark(window.lstBMS, {}), window.cmdRemove_Click(); },
         u"ABCDEFG"_qs,
         u"C"_qs,
         {}},
        {"remove others",
         [&] {
             mark(window.lstBMS, {0, 4}), window.cmdRemove_Click();
         },
         u"BCDFG"_qs,
         u"C"_qs,
         {}},
    };
    for (const Step& s : steps) {
        s.act();
        EXPECT_EQ(titles(), s.titles) << s.what;
        EXPECT_EQ(chosen(), s.chosen) << s.what;
        EXPECT_EQ(marks(window.lstBMS), s.marks) << s.what;
        EXPECT_EQ(marks(window.List1), (QList<int>{0, 1})) << s.what;
        for (const auto& e : playlist.entries()) {
            EXPECT_EQ(e.path, dir.filePath(e.title + u".bms"_qs)) << s.what;
        }
    }
    window.cmdStart_Click();
    ASSERT_TRUE(loaded());
    EXPECT_EQ(controller.chart().title, u"C"_qs);
    EXPECT_TRUE(player.isVisible());
    EXPECT_FALSE(window.isVisible());

    // Removing the chosen entry chooses none: Start begins with the first entry.
    mark(window.lstBMS, {1});
    window.cmdRemove_Click();
    EXPECT_EQ(chosen(), QString());
    window.cmdStart_Click();
    ASSERT_TRUE(loaded());
    EXPECT_EQ(controller.chart().title, u"B"_qs);
}

// A search runs off the user-interface thread and appends what it found in one step; a path with
// a line break is left out and said once. A folder gone since it was opened says so.
TEST_F(ProgramTest, SearchesAppendTheirFindingsAndSayWhatTheyCannotList) {
    chart(u"X"_qs, u"tree/x.bms"_qs);
    chart(u"Y"_qs, u"tree/sub/y.BMS"_qs);
    chart(u"B"_qs, u"tree/line\nbreak.bms"_qs);
    window.openFolder(dir.filePath(u"tree"_qs));
    for (const QString& found : {u"XY"_qs, u"XYXY"_qs}) {
        messages.clear();
        ASSERT_TRUE(search()) << "the search did not end within 10 s";
        EXPECT_TRUE(window.cmdSearch->isEnabled());
        EXPECT_EQ(titles(window.foundList()), found);
        EXPECT_EQ(messages, QStringList{u"ｴﾗｰ|改行を含むﾌｧｲﾙ名は追加できません。"_qs});
    }
    QDir(dir.filePath(u"tree"_qs)).removeRecursively();
    messages.clear();
    window.cmdSearch_Click();
    EXPECT_TRUE(window.cmdSearch->isEnabled());
    EXPECT_EQ(messages,
              QStringList{u"ｴﾗｰ|ﾌｫﾙﾀﾞ "_qs + dir.filePath(u"tree"_qs) + u" を読み込めません。"_qs});
    EXPECT_EQ(titles(window.foundList()), u"XYXY"_qs);
}

TEST_F(ProgramTest, FoldersAndTheReadme) {
    QDir().mkpath(dir.filePath(u"f/inner"_qs));
    window.openFolder(dir.filePath(u"f"_qs));
    EXPECT_EQ(window.Dir1Path(), dir.filePath(u"f"_qs));
    EXPECT_EQ(window.Dir1->count(), 3);  // the path, "..", inner
    window.cmdAppPath_Click();
    const QString programFolder = QCoreApplication::applicationDirPath() + u'/';
    EXPECT_EQ(window.Dir1Path() + u'/', programFolder);
    window.openFolder(dir.filePath(u"gone"_qs));  // a folder that is not there changes nothing
    EXPECT_EQ(window.Dir1Path() + u'/', programFolder);

    window.cmdReadReadMe_Click();
    if (QFile::exists(programFolder + u"readme.txt"_qs)) {
        EXPECT_EQ(viewed, QStringList{programFolder + u"readme.txt"_qs});
    } else {
        EXPECT_EQ(messages, QStringList{u"ｴﾗｰ|readme.txt が見つかりません。"_qs});
    }
}

}  // namespace
}  // namespace carvel
