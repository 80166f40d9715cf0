#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "playlist/title_probe.h"
#include "testing/qt_printers.h"
#include "testing/test_files.h"

namespace carvel {
namespace {

TEST(probeTitle, Table) {
    QTemporaryDir dir;
    struct Case {
        QByteArray text;
        QString title;
    };
    const Case cases[] = {
        {"#title   My Song  \r\n", u"My Song"_qs},
        {"#TITLE\r\n#TITLE later\r\n", u""_qs},
        {"#TITLEx rest\n", u"rest"_qs},
        {"#TITLE first\n#TITLE second\n", u"first"_qs},
        {"#GENRE g\n #TITLE indented\n", u"無題"_qs},
        {"", u"無題"_qs},
        {"#TITLE \x83\x65\x83\x58\x83\x67\r\n", u"テスト"_qs},
        {"#TITLE a>b\n", u"a>b"_qs},
        // The file is read in pieces until the title line ends: a title past the first piece, one
        // that a piece's end cuts in the middle of a character, and one after a byte-order mark.
        {QByteArray(5000, '\n') + "#TITLE far\r\n", u"far"_qs},
        {QByteArray(4086, '\n') + "#TITLE \xE6\x9B\xB2\xE5\x90\x8D\n#00111:01\n", u"曲名"_qs},
        {"\xEF\xBB\xBF#TITLE marked\n", u"marked"_qs},
    };
    for (const Case& c : cases) {
        const QString path = dir.filePath(u"t.bms"_qs);
        testing::writeBytes(path, c.text);
        EXPECT_EQ(probeTitle(path), c.title) << c.text.toStdString();
    }
    // bmson: the string of the first "title" key, wherever it stands.
    const Case bmson[] = {
        {R"({"sound_channels":[],"info":{"subtitle":"s","title" : "A \"B\" \u30c6"}})",
         u"A \"B\" テ"_qs},
        {R"({"info":{"title":5}})", u"無題"_qs},
        {R"({"info":{"title":"unterminated)", u"無題"_qs},
        {"{}", u"無題"_qs},
    };
    for (const Case& c : bmson) {
        const QString path = dir.filePath(u"t.BMSON"_qs);
        testing::writeBytes(path, c.text);
        EXPECT_EQ(probeTitle(path), c.title) << c.text.toStdString();
    }
    EXPECT_EQ(probeTitle(dir.filePath(u"missing.bms"_qs)), u"無題"_qs);
    EXPECT_EQ(probeTitle(dir.path()), u"無題"_qs);
}

}  // namespace
}  // namespace carvel
