#include <gtest/gtest.h>

#include "testing/qt_printers.h"

#include <QEventLoop>
#include <QTimer>
#include <functional>

#include "app/tests/program_rig.h"

namespace carvel {
namespace {

// The playlist's chosen entry (its current row) and the marks of both lists stay on their entries
// through every edit, so Start plays the entry the user picked.
class KeptChoiceTest : public ::testing::Test, protected testing::ProgramRig {
  protected:
    QString chosen() const {
        const QModelIndex current = window.lstBMS->currentIndex();
        return current.isValid() ? playlist.at(current.row()).title : QString();
    }
    static void mark(QListView* view, std::initializer_list<int> rows) {
        view->selectionModel()->clearSelection();
        for (int row : rows) {
            view->selectionModel()->select(view->model()->index(row, 0),
                                           QItemSelectionModel::Select);
        }
    }
    static QList<int> marks(QListView* view) {
        QList<int> rows;
        for (const QModelIndex& index : view->selectionModel()->selectedRows()) {
            rows.append(index.row());
        }
        std::sort(rows.begin(), rows.end());
        return rows;
    }
    bool search() {  // false when the search did not end within 10 s
        QEventLoop loop;
        window.onSearchFinished = [&] { loop.exit(1); };
        window.cmdSearch_Click();
        QTimer::singleShot(10000, &loop, [&] { loop.exit(0); });
        return loop.exec() == 1;
    }
};

TEST_F(KeptChoiceTest, ThroughAddRemoveMovesSearchesAndDrops) {
    for (const QString& t : {u"A"_qs, u"B"_qs, u"C"_qs, u"D"_qs}) {
        playlist.append({t, chart(t)});
    }
    window.foundList().append({u"F"_qs, chart(u"F"_qs)});
    window.openFolder(dir.path());
    mark(window.List1, {0});
    mark(window.lstBMS, {0, 2});
    window.lstBMS->selectionModel()->setCurrentIndex(window.lstBMS->model()->index(2, 0),
                                                     QItemSelectionModel::NoUpdate);
    struct Step {
        const char* what;
        std::function<void()> act;
        QString titles, chosen;
        QList<int> marks;  // of the playlist
    };
    const Step steps[] = {
        {"add", [&] { window.cmdAdd_Click(); }, u"ABCDF"_qs, u"C"_qs, {0, 2}},
        {"up", [&] { window.cmdUp_Click(); }, u"ACBDF"_qs, u"C"_qs, {0, 1}},
        {"down", [&] { window.cmdDown_Click(); }, u"ABCDF"_qs, u"C"_qs, {0, 2}},
        {"drop", [&] { player.dropFiles({chart(u"G"_qs)}); }, u"ABCDFG"_qs, u"C"_qs, {0, 2}},
        {"search", [&] { ASSERT_TRUE(search()); }, u"ABCDFG"_qs, u"C"_qs, {0, 2}},
        {"remove others",
         [&] {
             mark(window.lstBMS, {0, 4}), window.cmdRemove_Click();
         },
         u"BCDG"_qs,
         u"C"_qs,
         {}},
    };
    for (const Step& s : steps) {
        s.act();
        EXPECT_EQ(titles(), s.titles) << s.what;
        EXPECT_EQ(chosen(), s.chosen) << s.what;
        EXPECT_EQ(marks(window.lstBMS), s.marks) << s.what;
        EXPECT_EQ(marks(window.List1), QList<int>{0}) << s.what;
    }
    window.cmdStart_Click();
    EXPECT_EQ(controller.chart().title, u"C"_qs);

    // Removing the chosen entry chooses none: Start begins with the first entry.
    mark(window.lstBMS, {1});
    window.cmdRemove_Click();
    EXPECT_EQ(chosen(), QString());
    window.cmdStart_Click();
    EXPECT_EQ(controller.chart().title, u"B"_qs);
}

}  // namespace
}  // namespace carvel
