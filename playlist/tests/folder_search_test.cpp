#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "playlist/folder_search.h"
#include "playlist/title_probe.h"
#include "testing/qt_printers.h"
#include "testing/raw_files.h"
#include "testing/test_files.h"

namespace carvel {
namespace {

using testing::makeRaw;

TEST(FolderSearch, BreadthFirstByNameSkippingLinksAndSpecialFiles) {
    testing::RawTempDir tmp;
    const QString r = tmp.path();
    const QByteArray n = tmp.native();
    makeRaw(n + "/root.BMS", 'f', "#TITLE root\n");
    makeRaw(n + "/notes.txt", 'f', "x");
    makeRaw(n + "/noext");
    makeRaw(n + "/a/one.bms", 'f', "#TITLE one\n");
    makeRaw(n + "/a/Zulu.bms", 'f', "#TITLE zulu\n");  // after "one" whatever its letter case
    makeRaw(n + "/a/deep/three.bMs");
    makeRaw(n + "/b/two.bms", 'f', "#title two\n");
    makeRaw(n + "/b/two.bme", 'f', "#TITLE other format\n");
    makeRaw(n + "/b/three.bmson", 'f', R"({"info":{"title":"json"}})");
    makeRaw(n + "/empty", 'd');
    // 日本/曲.bms with its title, both in CP932, as unpacked from an archive.
    makeRaw(n + "/\x93\xfa\x96\x7b/\x8b\xc8.bms", 'f', "#TITLE \x83\x65\x83\x58\x83\x67\r\n");
    // Opening a FIFO would wait for a writer that never comes.
    makeRaw(n + "/x.bms", 'p');
    makeRaw(n + "/b/folder.bms", 'd');
    // A path with a line break cannot be stored in the list file.
    makeRaw(n + "/b/line\nbreak.bms", 'f', "#TITLE lost\n");
    // A link back to the root would make the walk endless if it were followed.
    QFile::link(r, r + u"/b/loop"_qs);
    makeRaw(n + "/locked/inner/hidden.bms");
    QFile::setPermissions(r + u"/locked"_qs, QFileDevice::WriteOwner);

    SearchResult result;
    EXPECT_TRUE(testing::finishesWithin(std::chrono::seconds(20), n + "/x.bms", [&] {
        result = searchCharts(r);
    })) << "the search waited on a FIFO";
    QFile::setPermissions(r + u"/locked"_qs,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QStringList paths;
    for (const auto& e : result.charts) {
        paths.append(e.path.mid(r.size()));
        EXPECT_EQ(probeTitle(e.path), e.title) << "the listed path leads back to the file";
    }
    // Depth 0, then depth 1, then depth 2; within a folder by name, letter case aside.
    QStringList expectedOrder = {u"/root.BMS"_qs,  u"/a/one.bms"_qs,   u"/a/Zulu.bms"_qs,
                                 u"/b/two.bms"_qs, u"/日本/曲.bms"_qs, u"/a/deep/three.bMs"_qs};
    // As root the locked folder is readable; otherwise it is skipped without harm.
    if (paths.size() == 7) {
        expectedOrder.append(u"/locked/inner/hidden.bms"_qs);
    }
    EXPECT_EQ(paths, expectedOrder);
    EXPECT_EQ(result.charts.front().title, u"root"_qs);
    const std::pair<const char16_t*, const char16_t*> expected[] = {
        {u"/a/one.bms", u"one"},
        {u"/b/two.bms", u"two"},
        {u"/日本/曲.bms", u"テスト"},
        {u"/a/deep/three.bMs", u"無題"},
    };
    for (const auto& [path, title] : expected) {
        const qsizetype i = paths.indexOf(QString::fromUtf16(path));
        ASSERT_GE(i, 1) << QString::fromUtf16(path).toStdString();
        EXPECT_EQ(result.charts.at(static_cast<size_t>(i)).title, QString::fromUtf16(title));
    }
    EXPECT_EQ(result.withLineBreak, 1);

    EXPECT_TRUE(searchCharts(r + u"/empty"_qs).charts.empty());
    EXPECT_TRUE(searchCharts(r + u"/vanished"_qs).charts.empty());
    EXPECT_EQ(searchCharts(r + u"/日本"_qs).charts.size(), 1u);
    // The full reading also collects the other formats, bmson among them, with their titles.
    QStringList full;
    for (const auto& e : searchCharts(r + u"/b"_qs, nullptr, ReadingMode::Full).charts) {
        full.append(e.path.mid(r.size()) + u'|' + e.title);
    }
    full.sort();
    EXPECT_EQ(full, (QStringList{u"/b/three.bmson|json"_qs, u"/b/two.bme|other format"_qs,
                                 u"/b/two.bms|two"_qs}));
}

}  // namespace
}  // namespace carvel
