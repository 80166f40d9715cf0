#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "playlist/folder_search.h"
#include "testing/qt_printers.h"
#include "testing/test_files.h"

namespace carvel {
namespace {

TEST(FolderSearch, BreadthFirstByExtensionWithoutFollowingLinks) {
    QTemporaryDir tmp;
    const QString r = tmp.path();
    testing::writeBytes(r + u"/root.BMS"_qs, "#TITLE root\n");
    testing::writeBytes(r + u"/notes.txt"_qs, "x");
    testing::writeBytes(r + u"/noext"_qs, "x");
    testing::writeBytes(r + u"/a/one.bms"_qs, "#TITLE one\n");
    testing::writeBytes(r + u"/a/deep/three.bMs"_qs, "");
    testing::writeBytes(r + u"/b/two.bms"_qs, "#title two\n");
    testing::writeBytes(r + u"/b/two.bme"_qs, "#TITLE other format\n");
    QDir().mkpath(r + u"/empty"_qs);
    // A link back to the root would make the walk endless if it were followed.
    QFile::link(r, r + u"/b/loop"_qs);
    QDir().mkpath(r + u"/locked/inner"_qs);
    testing::writeBytes(r + u"/locked/inner/hidden.bms"_qs, "");
    QFile::setPermissions(r + u"/locked"_qs, QFileDevice::WriteOwner);

    const std::vector<Playlist::Entry> found = searchCharts(r);
    QFile::setPermissions(r + u"/locked"_qs,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QStringList titles;
    QStringList paths;
    for (const auto& e : found) {
        titles.append(e.title);
        paths.append(e.path.mid(r.size()));
    }
    // Depth 0, then depth 1, then depth 2; within a depth, as the file system lists the folders.
    ASSERT_GE(found.size(), 4u);
    EXPECT_EQ(paths.first(), u"/root.BMS"_qs);
    EXPECT_EQ(titles.first(), u"root"_qs);
    for (qsizetype i = 1; i < paths.size(); ++i) {
        EXPECT_LE(paths.at(i - 1).count(u'/'), paths.at(i).count(u'/'))
            << paths.join(u' ').toStdString();
    }
    EXPECT_TRUE(paths.contains(u"/a/one.bms"_qs));
    EXPECT_TRUE(paths.contains(u"/b/two.bms"_qs));
    const qsizetype deep = paths.indexOf(u"/a/deep/three.bMs"_qs);
    ASSERT_GE(deep, 3);
    EXPECT_EQ(titles.at(deep), u"無題"_qs);
    EXPECT_FALSE(paths.contains(u"/b/two.bme"_qs));
    EXPECT_EQ(paths.filter(u"loop"_qs).size(), 0);
    // As root the locked folder is readable; otherwise it is skipped without harm.
    EXPECT_TRUE(found.size() == 4u || paths.contains(u"/locked/inner/hidden.bms"_qs));

    EXPECT_TRUE(searchCharts(r + u"/empty"_qs).empty());
    EXPECT_TRUE(searchCharts(r + u"/vanished"_qs).empty());
}

}  // namespace
}  // namespace carvel
