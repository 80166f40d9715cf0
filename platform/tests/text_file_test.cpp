#include <gtest/gtest.h>
#include <sys/stat.h>

#include "testing/qt_printers.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/file_system.h"
#include "platform/regular_file.h"
#include "platform/text_decoding.h"
#include "platform/text_file.h"
#include "testing/test_files.h"

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

TEST(DecodeText, ByteOrderMarksUtf8ElseCp932) {
    struct Case {
        QByteArray bytes;
        const char16_t* text;
    };
    const Case cases[] = {
        {"\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88", u"テスト"},
        {"\xEF\xBB\xBF#TITLE x", u"#TITLE x"},
        {"\x83\x65\x83\x58\x83\x67", u"テスト"},
        // Half-width katakana and the CP932 extensions decode like Windows (0x8790 is U+2252).
        {"\xB1\x87\x90", u"ｱ≒"},
        {"plain ascii", u"plain ascii"},
        // A UTF-8 mark before text that is not all UTF-8: the mark must not end up in the text.
        {"\xEF\xBB\xBF#TITLE \x83\x65\r\n", u"#TITLE テ\r\n"},
        {QByteArray("\xFF\xFE#\0T\0\xC6\x30", 8), u"#Tテ"},
        {QByteArray("\xFE\xFF\0#\0T\x30\xC6", 8), u"#Tテ"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(decodeText(c.bytes), QString::fromUtf16(c.text)) << c.bytes.toHex().data();
    }
    EXPECT_EQ(decodeUtf8OrCp932Strictly("\x8B\xC8"), u"曲"_qs);
    EXPECT_EQ(decodeUtf8OrCp932Strictly("\x80\xFF"), std::nullopt);
    EXPECT_EQ(decodeUtf8OrCp932Strictly("a\x81"), std::nullopt);
}

// Lines decoded one by one are the lines of the whole decoded text.
TEST(LineDecoder, LinesAsInTheWholeText) {
    const QByteArray cases[] = {
        "a\r\nb\rc\n",
        "\xEF\xBB\xBF\xEF\xBB\xBF\xE3\x83\x86\n\xEF\xBB\xBFx\n",
        "\x83\x65\r\nx\x81\r\ny\x81\nz\x81",
        "\x7F\x1A\x1C\x83\x65\n\x7F",
        "\xE3\x83",
        "",
    };
    for (const QByteArray& bytes : cases) {
        const LineDecoder decoder(bytes);
        ASSERT_TRUE(decoder.byLines());
        QStringList lines;
        forEachLine(decoder.text(),
                    [&](QByteArrayView line) { lines.append(decoder.decode(line)); });
        EXPECT_EQ(lines, splitLines(decodeText(bytes))) << bytes.toHex().data();
    }
    EXPECT_FALSE(LineDecoder(QByteArray("\xFF\xFE"
                                        "a\0",
                                        4))
                     .byLines());
}

// A run of bytes is plain when each byte is, whichever byte of a 32-byte block, of an 8-byte word
// or of the tail after them breaks it.
TEST(LineDecoder, PlainBytesAreEachPlain) {
    for (const int odd : {0x00, 0x0A, 0x20, 0x7F, 0x80, 0xA1, 0xFF}) {
        for (int size = 1; size <= 75; ++size) {
            for (int at = 0; at < size; ++at) {
                QByteArray bytes(size, 'a');
                bytes[at] = static_cast<char>(odd);
                EXPECT_FALSE(LineDecoder::isPlain(QByteArrayView(bytes))) << odd << " " << at;
            }
        }
    }
    for (const char edge : {'!', '~', '0', 'Z'}) {
        for (int size = 0; size <= 75; ++size) {
            EXPECT_TRUE(LineDecoder::isPlain(QByteArrayView(QByteArray(size, edge)))) << edge;
        }
    }
}

// One CP932 character anywhere in a text of ASCII, in a 32-byte block, a word or the tail, keeps
// the text from being read as UTF-8.
TEST(LineDecoder, OneByteBeyondAsciiDecides) {
    for (int size = 2; size <= 75; ++size) {
        for (int at = 0; at + 2 <= size; ++at) {
            QByteArray bytes(size, 'a');
            bytes[at] = '\x82';
            bytes[at + 1] = '\xA0';
            const LineDecoder decoder(bytes);
            EXPECT_EQ(decoder.decode(decoder.text()),
                      QString(at, u'a') + u"\u3042"_qs + QString(size - at - 2, u'a'))
                << size << " " << at;
        }
    }
}

TEST(TextFile, ReadsOnlyRegularFilesOfBoundedSize) {
    QTemporaryDir dir;
    const QString text = dir.filePath(u"a.txt"_qs);
    testing::writeBytes(text, "#TITLE \x83\x65\r\nline2\rline3\n");
    const QString big = dir.filePath(u"big.bms"_qs);
    testing::writeBytes(big, "");
    ASSERT_TRUE(QFile::resize(big, kMaxTextFileBytes + 1));  // sparse: costs no disk
    const QString pipe = dir.filePath(u"pipe.bms"_qs);
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0644), 0);

    EXPECT_EQ(readTextFile(text), u"#TITLE テ\r\nline2\rline3\n"_qs);
    struct Case {
        QString path;
        FileBytes::Status status;
    };
    const Case cases[] = {
        {text, FileBytes::Status::Ok},
        {dir.filePath(u"missing.txt"_qs), FileBytes::Status::NotFound},
        {dir.path(), FileBytes::Status::NotFound},
        {pipe, FileBytes::Status::NotFound},  // returns at once instead of waiting for a writer
        {big, FileBytes::Status::TooLarge},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(readFileBytes(c.path, kMaxTextFileBytes).status, c.status)
            << c.path.toStdString();
    }
    EXPECT_EQ(readFileBytes(text, 4).status, FileBytes::Status::TooLarge);
}

TEST(FileSystem, ExistenceAndFolders) {
    QTemporaryDir dir;
    testing::writeBytes(dir.filePath(u"x.bms"_qs), "");
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
