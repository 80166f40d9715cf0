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
    };
    for (const Case& c : cases) {
        const QString path = dir.filePath(u"t.bms"_qs);
        testing::writeBytes(path, c.text);
        EXPECT_EQ(probeTitle(path), c.title) << c.text.toStdString();
    }
    EXPECT_EQ(probeTitle(dir.filePath(u"missing.bms"_qs)), u"無題"_qs);
    EXPECT_EQ(probeTitle(dir.path()), u"無題"_qs);
}

}  // namespace
}  // namespace carvel
