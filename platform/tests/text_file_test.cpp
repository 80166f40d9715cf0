#include <gtest/gtest.h>

#include "platform/testing/qt_printers.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/file_system.h"
#include "platform/text_decoding.h"
#include "platform/text_file.h"

namespace carvel {
namespace {

TEST(SplitLines, LineBreakKinds) {
    struct Case {
        const char16_t* text;
        QStringList lines;
    };
    const Case cases[] = {
        {u"", {}},
        {u"a", {u"a"_qs}},
        {u"a\r\nb\r\n", {u"a"_qs, u"b"_qs}},
        {u"a\nb", {u"a"_qs, u"b"_qs}},
        {u"a\rb\r", {u"a"_qs, u"b"_qs}},
        {u"a\r\n\r\nb", {u"a"_qs, u""_qs, u"b"_qs}},
        {u"a\n\rb", {u"a"_qs, u""_qs, u"b"_qs}},
        {u"\n", {u""_qs}},
        {u"x\ty \r\n", {u"x\ty "_qs}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(splitLines(QString::fromUtf16(c.text)), c.lines)
            << QString::fromUtf16(c.text).toStdString();
    }
}

TEST(DecodeText, Utf8WithAndWithoutBomElseCp932) {
    // "テスト" in UTF-8, with a BOM, and in CP932; then bytes that are not UTF-8.
    EXPECT_EQ(decodeText(QByteArray("\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88")), u"テスト"_qs);
    EXPECT_EQ(decodeText(QByteArray("\xEF\xBB\xBF#TITLE x")), u"#TITLE x"_qs);
    EXPECT_EQ(decodeText(QByteArray("\x83\x65\x83\x58\x83\x67")), u"テスト"_qs);
    // Half-width katakana and the CP932 extensions decode like Windows (0x8790 is U+2252).
    EXPECT_EQ(decodeText(QByteArray("\xB1\x87\x90")), u"ｱ≒"_qs);
    EXPECT_EQ(decodeText(QByteArray("plain ascii")), u"plain ascii"_qs);
}

TEST(TextFile, ReadsAndReportsUnreadable) {
    QTemporaryDir dir;
    const QString path = dir.filePath(u"a.txt"_qs);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("#TITLE \x83\x65\r\nline2\rline3\n");
    f.close();
    EXPECT_EQ(readTextLines(path), (QStringList{u"#TITLE テ"_qs, u"line2"_qs, u"line3"_qs}));
    EXPECT_FALSE(readTextLines(dir.filePath(u"missing.txt"_qs)).has_value());
}

TEST(FileSystem, ExistenceAndFolders) {
    QTemporaryDir dir;
    QFile f(dir.filePath(u"x.bms"_qs));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    EXPECT_TRUE(fileExists(dir.filePath(u"x.bms"_qs)));
    EXPECT_FALSE(fileExists(dir.path()));
    EXPECT_FALSE(fileExists(dir.filePath(u"y.bms"_qs)));
    EXPECT_FALSE(fileExists(QString()));

    EXPECT_EQ(parentFolder(u"/a/b/c.bms"_qs), u"/a/b"_qs);
    EXPECT_EQ(parentFolder(u"/c.bms"_qs), u"/"_qs);
    EXPECT_EQ(parentFolder(u"c.bms"_qs), QString());
    EXPECT_EQ(withTrailingSlash(u"/a"_qs), u"/a/"_qs);
    EXPECT_EQ(withTrailingSlash(u"/"_qs), u"/"_qs);
}

}  // namespace
}  // namespace carvel
